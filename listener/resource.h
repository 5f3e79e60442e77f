/* Identifiers shared by the listener's resource script and its code. */
#ifndef KESTRALUNE_RESOURCE_H
#define KESTRALUNE_RESOURCE_H

/* Listener menu */
#define IDM_CLEARTRANSCRIPT 501
#define IDM_INTERRUPT 502
#define IDM_RECONNECT 503
#define IDM_EXIT 504

/* Child windows: the transcript and the input line under it */
#define ID_TRANSCRIPT 401
#define ID_INPUT 402

#endif
