dnl The numbers 1..25,000 appended one at a time by re-expanding the old value.
define(`s', `')dnl
define(`loop', `ifelse(eval($1 > 25000), 1, , `define(`s', s`'$1 )loop(incr($1))')')dnl
loop(1)s
