// Highlighting of instruction lists, read as the loader reads them (packaging/syntax/awl.xml
// holds the same rules for desktop editors): the first word of a line decides what the rest
// is, and a word the loader would reject is marked before the program is ever loaded.
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';

const WORD = /^[A-Za-z0-9_#.+=-]+/;
const END = '(?![A-Za-z0-9_#.+=\\-])';
const ADDRESS = '(?:[BWD][0-9]+|[0-9]+\\.[0-7])';

const BLOCK_BEGIN = new Set(['ORGANIZATION_BLOCK', 'SUBROUTINE_BLOCK', 'INTERRUPT_BLOCK']);
const BLOCK_END = new Set([
  'END_ORGANIZATION_BLOCK',
  'END_SUBROUTINE_BLOCK',
  'END_INTERRUPT_BLOCK',
]);
// The loader's mnemonic table, case included.
const INSTRUCTIONS = new Set(
  'LD LDN U UN O ON ULD OLD NOT = S R EU ED LPS LRD LPP LSCR SCRT SCRE MOVB MOVW XORB LDW= UB= TON ZVR'.split(
    ' ',
  ),
);

// Operand patterns, each covering a whole word so that E0.38 is not E0.3 and an 8. SM before S.
export const OPERANDS = [
  [new RegExp(`^E${ADDRESS}${END}`), 'awlInput'],
  [new RegExp(`^A${ADDRESS}${END}`), 'awlOutput'],
  [new RegExp(`^[MV]${ADDRESS}${END}`), 'awlMemory'],
  [new RegExp(`^SM${ADDRESS}${END}`), 'awlSpecial'],
  [new RegExp(`^S${ADDRESS}${END}`), 'awlSequence'],
  [new RegExp(`^[TZ][0-9]+${END}`), 'awlTimer'],
  [
    new RegExp(
      `^\\+?(?:2#[01]*|8#[0-7]*|16#[0-9A-Fa-f]*|(?:[3-79]|1[0-57-9]|2[0-9]|3[0-5])#[0-9A-Za-z]*)${END}`,
    ),
    'awlBased',
  ],
  [new RegExp(`^\\+?-?[0-9]+${END}`), 'number'],
];

// Anything that is neither a word nor blank is one bad character.
function error(stream) {
  if (!stream.match(WORD)) stream.next();
  return 'invalid';
}

function firstWord(stream, state) {
  if (stream.match('TITLE=')) {
    state.context = 'title';
    return 'meta';
  }
  const word = stream.match(WORD, false)?.[0];
  if (word === undefined) {
    state.context = 'operands';
    return error(stream);
  }
  stream.match(WORD);
  if (BLOCK_BEGIN.has(word)) {
    state.context = 'block';
    return 'awlBlock';
  }
  if (BLOCK_END.has(word)) {
    state.context = 'lineEnd';
    return 'awlBlock';
  }
  if (word === 'BEGIN') {
    state.context = 'lineEnd';
    return 'meta';
  }
  if (word === 'NETWORK') {
    state.context = 'network';
    return 'meta';
  }
  state.context = 'operands';
  // An unknown mnemonic: its operands are still shown for what they are.
  return INSTRUCTIONS.has(word) ? 'keyword' : 'invalid';
}

function rest(stream, state) {
  switch (state.context) {
    case 'title':
      stream.skipToEnd();
      return 'string';
    case 'block':
      if (stream.eat(':')) return 'punctuation';
      return stream.match(WORD) ? 'awlBlockName' : error(stream);
    case 'network':
      state.context = 'lineEnd';
      return stream.match(new RegExp(`^[0-9]+${END}`)) ? 'number' : error(stream);
    case 'operands':
      for (const [pattern, token] of OPERANDS) {
        if (stream.match(pattern)) return token;
      }
      return error(stream);
    default:
      return error(stream);
  }
}

export const awlTokenTable = {
  awlBlock: tags.moduleKeyword,
  awlBlockName: tags.function(tags.variableName),
  awlInput: tags.variableName,
  awlOutput: tags.propertyName,
  awlMemory: tags.labelName,
  awlSpecial: tags.standard(tags.variableName),
  awlSequence: tags.controlKeyword,
  awlTimer: tags.typeName,
  awlBased: tags.integer,
};

const awl = StreamLanguage.define({
  name: 'awl',
  startState: () => ({ context: 'line' }),
  copyState: (state) => ({ ...state }),
  token(stream, state) {
    if (stream.sol()) state.context = 'line';
    if (stream.eatSpace()) return null;
    if (state.context !== 'title' && stream.match('//')) {
      stream.skipToEnd();
      return 'comment';
    }
    return state.context === 'line' ? firstWord(stream, state) : rest(stream, state);
  },
  languageData: { commentTokens: { line: '//' } },
  tokenTable: awlTokenTable,
});

export const awlColours = HighlightStyle.define([
  { tag: tags.comment, color: '#707070', fontStyle: 'italic' },
  { tag: tags.moduleKeyword, color: '#7a3e9d', fontWeight: 'bold' },
  { tag: tags.meta, color: '#7a3e9d' },
  { tag: tags.string, color: '#2e7d32' },
  { tag: tags.keyword, color: '#1f3fbf', fontWeight: 'bold' },
  { tag: tags.variableName, color: '#00695c' },
  { tag: tags.propertyName, color: '#b3261e' },
  { tag: tags.labelName, color: '#8d5a00' },
  { tag: tags.standard(tags.variableName), color: '#5d4037' },
  { tag: tags.controlKeyword, color: '#6a1b9a' },
  { tag: tags.typeName, color: '#0d47a1' },
  { tag: tags.function(tags.variableName), color: '#1565c0' },
  { tag: [tags.number, tags.integer], color: '#c2185b' },
  { tag: tags.punctuation, color: '#444' },
  { tag: tags.invalid, color: '#d00000', textDecoration: 'underline wavy #d00000' },
]);

export function awlSupport() {
  return [awl, syntaxHighlighting(awlColours)];
}
