# The numbers 1..25,000 appended one at a time.
proc main {} {
  set s ""
  for {set i 1} {$i <= 25000} {incr i} { append s "$i " }
  puts $s
}
main
