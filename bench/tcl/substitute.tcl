# Replaces every "a" with "bb" in the 1 MiB text in the file named by the first argument.
proc main {path} {
  set f [open $path]
  set text [read $f]
  close $f
  puts [string map {a bb} $text]
}
main [lindex $argv 0]
