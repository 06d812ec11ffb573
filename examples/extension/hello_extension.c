/* An example extension module for the script language. Built as a shared library (a
 * ".dll" named like the Windows ones) and loaded by a script with
 *
 *   $LoadLibrary{C:\ZOMA\Programs\hello.dll}
 *
 * Its initialisation export, TesselInitLibrary, receives the interpreter instance and
 * registers two built-ins:
 *
 *   $Hello{name}           writes "Hello, name!"
 *   $HelloCount{}          how often Hello was called in this process
 *
 * and sets the variable HelloVersion. The registration services come from the program
 * that hosts the language (see script/tessel_extension.h), so the module links against
 * nothing of ours. */
#include <stdio.h>
#include <stdlib.h>

#include "script/tessel_extension.h"

static int hello_calls = 0;

static void Hello(TesselCall* call) {
  ++hello_calls;
  tessel_call_write(call, "Hello, ");
  tessel_call_write(call, tessel_call_eval_plain(call, 1));
  tessel_call_write(call, "!");
}

static void HelloCount(TesselCall* call) { tessel_call_write_integer(call, hello_calls); }

int TesselInitLibrary(TesselInstance* instance) {
  if (tessel_register_builtin(instance, "Hello", Hello, NULL, 1, 0) != 0) return -1;
  if (tessel_register_builtin(instance, "HelloCount", HelloCount, NULL, 0, 0) != 0) return -1;
  return tessel_set_global_variable(instance, "HelloVersion", "1.0");
}

/* A second initialisation function, for scripts that name their own. */
int HelloInitQuiet(TesselInstance* instance) {
  return tessel_register_builtin(instance, "Hello", HelloCount, NULL, 0, 0);
}

/* With HELLO_EXTENSION_TRACE set, says when the module goes (tests check that). */
__attribute__((destructor)) static void Unloaded(void) {
  if (getenv("HELLO_EXTENSION_TRACE")) fputs("hello.dll unloaded\n", stderr);
}
