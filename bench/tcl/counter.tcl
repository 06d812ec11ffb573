# 200,000 iterations of a loop that increments a counter.
proc main {} {
  set count 0
  for {set i 0} {$i < 200000} {incr i} { incr count }
  puts $count
}
main
