/* The C interface for extension modules. A module is a shared library loaded at run
 * time; its initialisation function (by default "TesselInitLibrary") receives the
 * interpreter instance and registers built-ins through the functions below, which the
 * program that hosts the language exports.
 *
 *   static void Hello(TesselCall* call) {
 *     tessel_call_write(call, "Hello, ");
 *     tessel_call_write(call, tessel_call_eval_plain(call, 1));
 *   }
 *   int TesselInitLibrary(TesselInstance* instance) {
 *     return tessel_register_builtin(instance, "Hello", Hello, NULL, 1, 0);
 *   }
 */
#ifndef SCRIPT_TESSEL_EXTENSION_H_
#define SCRIPT_TESSEL_EXTENSION_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TesselInstance TesselInstance; /* an interpreter instance */
typedef struct TesselCall TesselCall;         /* the record of one built-in call */

/* A built-in: reads its arguments through the call, writes its result to the call. */
typedef void (*TesselBuiltin)(TesselCall* call);
/* The module's initialisation export; 0 on success. */
typedef int (*TesselInitFunction)(TesselInstance* instance);

/* Flags of script built-ins (user functions). */
enum {
  TESSEL_DONT_EVALUATE_ARGUMENTS = 1,
  TESSEL_NO_SCOPE = 2,
  TESSEL_VERBATIM = 4,
  TESSEL_SELF_SCOPED = 8,
  TESSEL_SILENT = 16
};

/* Registration. `scope` 0 is the current scope; `min_args` counts the arguments after
 * the name (a call with fewer does nothing). All return 0, or -1 on a bad argument. */
int tessel_register_builtin(TesselInstance* instance, const char* name, TesselBuiltin handler,
                            void* user_data, int min_args, int scope);
int tessel_register_builtin_self_scoped(TesselInstance* instance, const char* name,
                                        TesselBuiltin handler, void* user_data, int min_args,
                                        int scope);
/* `body` is script text in the standard token set "${;}". */
int tessel_define_script_builtin(TesselInstance* instance, const char* name, const char* body,
                                 unsigned flags);
/* The text is copied. */
int tessel_set_variable(TesselInstance* instance, const char* name, const char* text, int scope);
int tessel_set_global_variable(TesselInstance* instance, const char* name, const char* text);
/* Runs when the instance is destroyed. */
int tessel_register_cleanup(void (*cleanup)(TesselInstance* instance));

/* The call record. Argument 0 is the called name; texts returned stay valid until the
 * built-in returns. */
TesselInstance* tessel_call_instance(TesselCall* call);
int tessel_call_argc(const TesselCall* call);
const char* tessel_call_arg(TesselCall* call, int i); /* raw, "" when absent */
void* tessel_call_user_data(const TesselCall* call);
void tessel_call_set_user_data(TesselCall* call, void* user_data);
const char* tessel_call_eval_script(TesselCall* call, int i); /* escapes kept */
const char* tessel_call_eval_plain(TesselCall* call, int i);  /* escapes removed */
const char* tessel_call_eval_name(TesselCall* call, int i);
int32_t tessel_call_eval_integer(TesselCall* call, int i);
int32_t tessel_call_eval_math(TesselCall* call, int i);
void tessel_call_write(TesselCall* call, const char* text);
void tessel_call_write_integer(TesselCall* call, int32_t value);

#ifdef __cplusplus
}
#endif

#endif /* SCRIPT_TESSEL_EXTENSION_H_ */
