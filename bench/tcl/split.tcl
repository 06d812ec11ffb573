# Splits the 100,000-word text in the file named by the first argument and counts "w7".
proc main {path} {
  set f [open $path]
  set text [read $f]
  close $f
  set count 0
  foreach word [split $text " \n"] {
    if {$word eq "w7"} { incr count }
  }
  puts $count
}
main [lindex $argv 0]
