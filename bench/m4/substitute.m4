dnl Replaces every "a" with "bb" in the 1 MiB text in TEXT.
patsubst(include(TEXT), `a', `bb')
