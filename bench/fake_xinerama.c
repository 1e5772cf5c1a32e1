/* A stand-in for libXinerama.so.1 that reports the heads the benchmark asks for:
 * LUMASPIRE_XINERAMA_HEADS="x,y,w,h;x,y,w,h". Xvfb has one output, so Wine sees one
 * monitor; with this library (on LD_LIBRARY_PATH) and UseXRandR=N, Wine 10 reports one
 * monitor per head, but every one at the primary's rectangle (without XRandR its display
 * settings give each adapter the same mode at 0,0). Not a second screen, then, but a
 * second view area on the same one: what tools/bench.sh uses to measure what a second
 * monitor costs the saver (one more blit a frame). */
#include <stdio.h>
#include <stdlib.h>

typedef struct {
    int screen_number;
    short x_org, y_org, width, height;
} XineramaScreenInfo;

int XineramaQueryExtension(void* dpy, int* event_base, int* error_base)
{
    (void)dpy;
    *event_base = 0;
    *error_base = 0;
    return 1;
}

int XineramaQueryVersion(void* dpy, int* major, int* minor)
{
    (void)dpy;
    *major = 1;
    *minor = 1;
    return 1;
}

int XineramaIsActive(void* dpy)
{
    (void)dpy;
    return 1;
}

XineramaScreenInfo* XineramaQueryScreens(void* dpy, int* number)
{
    const char* heads_text = getenv("LUMASPIRE_XINERAMA_HEADS");
    XineramaScreenInfo* heads = calloc(16, sizeof(*heads)); /* freed by XFree, i.e. free() */
    int n = 0, x, y, w, h, used;
    (void)dpy;
    while (heads && heads_text && n < 16 && sscanf(heads_text, "%d,%d,%d,%d%n", &x, &y, &w, &h, &used) == 4) {
        heads[n].screen_number = n;
        heads[n].x_org = (short)x;
        heads[n].y_org = (short)y;
        heads[n].width = (short)w;
        heads[n].height = (short)h;
        ++n;
        heads_text += used;
        if (*heads_text == ';')
            ++heads_text;
    }
    *number = n;
    return heads;
}
