/* What the minimal program does differently per platform, as the jukebox does (shell/platform/). */
#ifndef BENCH_PLATFORM_H
#define BENCH_PLATFORM_H

/* The pause between two empty polls of the event queue. */
void minimal_pause(void);
/* Sets the window's title again where SDL cannot show the UTF-8 caption; nothing elsewhere. */
void minimal_mend_title(void);

#endif
