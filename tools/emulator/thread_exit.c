/* Preloaded into 32-bit Wine when qemu-i386 runs it (see wine-env.sh).
 *
 * glibc's pthread_exit unwinds the exiting thread's stack with libgcc's forced unwind.
 * Under qemu-i386 that walk reaches a frame in the emulator's vdso whose unwind
 * information does not match the emulated stack, follows it into garbage and dies of
 * SIGSEGV: a Wine thread that ends (a program's worker thread returning) takes the
 * whole process down now and then. Wine runs no cleanup handlers and joins no
 * threads, so ending the thread with the exit system call is all it needs. */
#define _GNU_SOURCE
#include <sys/syscall.h>
#include <unistd.h>

void pthread_exit(void *retval)
{
    (void)retval;
    for (;;)
        syscall(SYS_exit, 0);
}
