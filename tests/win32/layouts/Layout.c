/* The DLLs of the loader's matrix (LoadingTest.cpp): each exports EXPORT_A, which
   calls the functions USE_A and USE_B that it imports. No C runtime: nothing but
   what the layout names is imported, and no header: <windows.h> alone would cost each
   of the matrix's compiles a second. */

int __stdcall DllMain(void* instance, unsigned long reason, void* reserved) {
    (void)instance, (void)reason, (void)reserved;
    return 1;
}

#ifdef USE_A
__declspec(dllimport) int USE_A(void);
#endif
#ifdef USE_B
__declspec(dllimport) int USE_B(void);
#endif

__declspec(dllexport) int EXPORT_A(void) {
    int value = 1;
#ifdef USE_A
    value += USE_A();
#endif
#ifdef USE_B
    value += USE_B();
#endif
    return value;
}

#ifdef EXPORT_B
__declspec(dllexport) int EXPORT_B(void) { return 2; }
#endif
