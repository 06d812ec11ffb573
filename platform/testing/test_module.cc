// A small library that module tests load: two exports and a counter that shows
// whether the library was loaded afresh.
extern "C" {

__attribute__((visibility("default"))) int TestModuleAdd(int a, int b) { return a + b; }

static int calls = 0;
__attribute__((visibility("default"))) int TestModuleCount() { return ++calls; }
}
