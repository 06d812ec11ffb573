dnl The numbers 1..100,000 joined by blanks, written as the loop runs.
define(`build', `ifelse(eval($1 > $2), 1, , `$1 build(incr($1), $2)')')dnl
build(1, 100000)
