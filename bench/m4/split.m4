dnl Splits the 100,000-word text in WORDS and counts the word "w7".
define(`count', 0)dnl
define(`check', `ifelse(`$1', `w7', `define(`count', incr(count))')')dnl
divert(-1)patsubst(include(WORDS), `\([a-z0-9]+\)', `check(`\1')')divert(0)dnl
count
