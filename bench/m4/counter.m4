dnl 200,000 iterations of a loop that increments a counter.
define(`count', 0)dnl
define(`loop', `ifelse(eval($1 < 200000), 1, `define(`count', incr(count))loop(incr($1))')')dnl
loop(0)count
