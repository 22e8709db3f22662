// Highlighting of scenarios (*.scn), read as the scenario runner reads them: a line starting
// with # is a comment, the first word is the command, the words after it operands and values,
// and expect-error's rest is its text. A word the runner would reject is marked.
import { StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { OPERANDS, awlColours, awlTokenTable } from './awl-language.js';

const WORD = /^\S+/;
// The runner's command table.
const COMMANDS = new Set(
  'set preset force unforce scan step wait idle reset clear expect expect-bit expect-error'.split(' '),
);
// Words that stand for themselves after a command: set T37 5 running, unforce all.
const KEYWORDS = new Set(['running', 'all']);
// step MS/N
const STEP = /^[0-9]+\/[0-9]+(?!\S)/;

function argument(stream) {
  for (const [pattern, token] of OPERANDS) {
    if (stream.match(pattern)) return token;
  }
  if (stream.match(STEP)) return 'number';
  const word = stream.match(WORD)[0];
  return KEYWORDS.has(word) ? 'keyword' : 'invalid';
}

const scn = StreamLanguage.define({
  name: 'scn',
  startState: () => ({ context: 'line' }),
  copyState: (state) => ({ ...state }),
  token(stream, state) {
    if (stream.sol()) state.context = 'line';
    if (stream.eatSpace()) return null;
    if (state.context === 'line') {
      if (stream.peek() === '#') {
        stream.skipToEnd();
        return 'comment';
      }
      const word = stream.match(WORD)[0];
      state.context = word === 'expect-error' ? 'text' : 'arguments';
      return COMMANDS.has(word) ? 'keyword' : 'invalid';
    }
    if (state.context === 'text') {
      stream.skipToEnd();
      return 'string';
    }
    return argument(stream);
  },
  languageData: { commentTokens: { line: '#' } },
  tokenTable: awlTokenTable,
});

export function scnSupport() {
  return [scn, syntaxHighlighting(awlColours)];
}
