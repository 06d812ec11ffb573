/* The smallest program or library the cross linker makes: only its resources matter. */
#ifdef BUILD_DLL
int __stdcall DllMain(void* module, unsigned long reason, void* reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return 1;
}
#else
int main(void) { return 0; }
#endif
