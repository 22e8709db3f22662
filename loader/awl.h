// Token values of the program scanner, shared by the rule file and the parser.
#pragma once

namespace kvx {

enum Token : int {
    TOK_EOF = 0,
    TOK_ORGANIZATION_BLOCK = 257,
    TOK_END_ORGANIZATION_BLOCK = 258,
    TOK_SUBROUTINE_BLOCK = 259,
    TOK_END_SUBROUTINE_BLOCK = 260,
    TOK_INTERRUPT_BLOCK = 261,
    TOK_END_INTERRUPT_BLOCK = 262,
    TOK_NETWORK = 263,
    // A word: mnemonic, operand, block name or network number.
    TOK_NAME = 264,
    TOK_BEGIN = 265,
    // A run of line breaks; empty lines vanish in it.
    TOK_NEWLINE = 266,
    // "//" and the rest of the line.
    TOK_COMMENT = 267,
    TOK_COLON = 268,
    // "TITLE=" and the rest of the line.
    TOK_TITLE = 269,
};

} // namespace kvx
