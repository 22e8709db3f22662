// Aufzeichnen: the engine records what the user does to the running program as a scenario, as
// the window does. When it ends, by the button or by a load of another program, the page offers
// the scenario for download or as a new scenario tab.
import { downloadText } from './files.js';

// Today as the scenario's head writes it, in the user's own time zone.
export function today(now = new Date()) {
  const two = (n) => String(n).padStart(2, '0');
  return `${now.getFullYear()}-${two(now.getMonth() + 1)}-${two(now.getDate())}`;
}

export function createRecording({ button, offer, offerText, download, open, dismiss }, send, { name, onOpen }) {
  let recording = false;
  let text = '';
  // The recorded program's scenario name, kept when a load of another program ends it.
  let recordedName = '';

  function showOffer(recorded) {
    text = recorded;
    offer.hidden = text === '';
    if (text !== '') {
      const lines = text.split('\n').filter((line) => line !== '' && !line.startsWith('#')).length;
      offerText.textContent = `Aufzeichnung ${recordedName}: ${lines} Zeilen`;
    }
  }

  button.addEventListener('click', () => {
    if (recording) send({ type: 'recordStop' });
    else {
      showOffer('');
      send({ type: 'recordStart', date: today() });
    }
  });
  download.addEventListener('click', () => downloadText(recordedName, text));
  open.addEventListener('click', () => {
    onOpen(recordedName, text);
    showOffer('');
  });
  dismiss.addEventListener('click', () => showOffer(''));

  return {
    // The engine's state; a recording that ended without the button is fetched too.
    update(state) {
      const was = recording;
      recording = state.recording === true;
      if (recording && !was) recordedName = name();
      button.setAttribute('aria-pressed', String(recording));
      button.textContent = recording ? 'Aufzeichnung beenden' : 'Aufzeichnen';
      if (was && !recording) send({ type: 'recordStop' });
    },
    // What the status line names while recording.
    name: () => (recording ? recordedName : ''),
    // An empty text is a stop that found nothing left to hand over.
    recorded({ text: recorded }) {
      if (recorded !== '') showOffer(recorded);
    },
  };
}
