# The numbers 1..100,000 joined by blanks.
proc main {} {
  set s ""
  for {set i 1} {$i <= 100000} {incr i} { append s "$i " }
  puts $s
}
main
