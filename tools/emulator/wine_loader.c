/* The 32-bit Wine loader, for machines where qemu-i386 runs it (see machine-setup.sh).
 *
 * Debian's loader is a position-independent executable, and qemu-i386 maps such a program
 * where Linux maps 32-bit ones: at 0x400000, the base of nearly every Windows program.
 * Programs that cannot be moved (an NSIS installer has no relocations) then fail to
 * start with STATUS_CONFLICTING_ADDRESSES, where Windows always finds that address free.
 * This loader does what Debian's does (load ntdll and hand it the command line) from a
 * fixed address high above the programs' space, as Wine's own non-PIE build is linked. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

/* Read by ntdll: no preloader reserved anything. */
void *wine_main_preload_info = NULL;

int main(int argc, char *argv[])
{
    void *ntdll = dlopen("/usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so", RTLD_NOW);
    if (!ntdll) {
        fprintf(stderr, "wine: could not load ntdll.so: %s\n", dlerror());
        pthread_detach(pthread_self());  /* ntdll wants libpthread's symbols imported */
        return 1;
    }
    void (*wine_main)(int, char **) = (void (*)(int, char **))dlsym(ntdll, "__wine_main");
    if (!wine_main) {
        fprintf(stderr, "wine: __wine_main function not found in ntdll.so\n");
        return 1;
    }
    wine_main(argc, argv);
    return 1;
}
