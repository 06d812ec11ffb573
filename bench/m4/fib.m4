dnl Naive recursive Fibonacci of 22.
define(`fib', `ifelse(eval($1 < 2), 1, $1, `eval(fib(decr($1)) + fib(eval($1 - 2)))')')dnl
fib(22)
