// Teilen: a link whose fragment carries the program (and, if wished, its scenarios), compressed
// with the browser's own deflate and written in base64url. The fragment never reaches a server.
// Reading one trusts nothing: every field is checked, and the text is only ever shown and loaded.
export const PREFIX = 'v1:';
// RFC 9110 asks every sender and recipient to handle URIs of at least 8000 octets; longer links
// are cut or refused by some mail and chat programs and by many web forms.
export const LINK_LIMIT = 8000;
// Inflating never yields more than this, so a small hostile fragment cannot fill the memory.
const MAX_TEXT = 4 * 1024 * 1024;

export class ShareError extends Error {}

async function transform(bytes, stream, limit = Infinity) {
  const reader = new Blob([bytes]).stream().pipeThrough(stream).getReader();
  const parts = [];
  let size = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    size += value.length;
    if (size > limit) {
      await reader.cancel();
      throw new ShareError('Der Link enthält mehr Text, als ein Programm haben kann.');
    }
    parts.push(value);
  }
  return new Uint8Array(await new Blob(parts).arrayBuffer());
}

function toBase64url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) throw new ShareError('Der Link ist beschädigt.');
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

// { name, text, scenarios: [{ name, text }] } as the link's fragment, without the '#'.
export async function encodeShare({ name, text, scenarios = [] }) {
  const data = { n: name, t: text };
  if (scenarios.length > 0) data.s = scenarios.map((s) => ({ n: s.name, t: s.text }));
  const packed = await transform(new TextEncoder().encode(JSON.stringify(data)), new CompressionStream('deflate-raw'));
  return PREFIX + toBase64url(packed);
}

const isText = (value) => typeof value === 'string';

// The fragment (without '#') back as { name, text, scenarios }, or a ShareError saying why not.
export async function decodeShare(fragment) {
  if (!fragment.startsWith(PREFIX)) throw new ShareError('Der Link stammt nicht von dieser Version des Simulators.');
  let data;
  try {
    const packed = fromBase64url(fragment.slice(PREFIX.length));
    const json = await transform(packed, new DecompressionStream('deflate-raw'), MAX_TEXT);
    data = JSON.parse(new TextDecoder('utf-8', { fatal: true }).decode(json));
  } catch (error) {
    if (error instanceof ShareError) throw error;
    throw new ShareError('Der Link ist beschädigt oder unvollständig.');
  }
  const scenarios = data?.s ?? [];
  if (!isText(data?.n) || !isText(data.t) || !Array.isArray(scenarios) || !scenarios.every((s) => isText(s?.n) && isText(s.t))) {
    throw new ShareError('Der Link ist beschädigt oder unvollständig.');
  }
  return { name: data.n, text: data.t, scenarios: scenarios.map((s) => ({ name: s.n, text: s.t })) };
}

// The page's address with `fragment`, or a ShareError when it is too long to pass on.
export function shareLink(fragment, withScenarios, base = location.href) {
  const link = `${base.replace(/#.*$/, '')}#${fragment}`;
  if (link.length > LINK_LIMIT) {
    throw new ShareError(
      `Der Link wäre ${link.length} Zeichen lang, mehr als die ${LINK_LIMIT}, die sich sicher weitergeben lassen. ` +
        'Speichern Sie das Programm als Datei' +
        (withScenarios ? ' oder teilen Sie es ohne Szenarien.' : '.'),
    );
  }
  return link;
}
