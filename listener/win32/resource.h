/* Identifiers shared by the listener's resource script and its code. */
#ifndef KESTRALUNE_RESOURCE_H
#define KESTRALUNE_RESOURCE_H

/* Listener menu */
#define IDM_CLEARTRANSCRIPT 501
#define IDM_INTERRUPT 502
#define IDM_RECONNECT 503
#define IDM_EXIT 504

/* Lisp menu */
#define IDM_MACROEXPAND1 520
#define IDM_MACROEXPANDALL 521
#define IDM_TOGGLETRACE 522
#define IDM_UNTRACEALL 523
#define IDM_FINDDEFINITION 524
#define IDM_WHOCALLS 525
#define IDM_WHOREFERENCES 526
#define IDM_COMPILEEDITOR 527
#define IDM_COMPILEFILE 528
#define IDM_COMPILEFILEAGAIN 529
#define IDM_INSPECT 530
#define IDM_INSPECTLAST 531

/* Child windows: the transcript and the input area under it */
#define ID_TRANSCRIPT 401
#define ID_INPUT 402
/* The status line under the input: the argument list at the caret */
#define ID_INPUT_STATUS 403

/* The debugger window's controls: the condition, the restarts and the
   backtrace, and the labels over the two lists */
#define ID_DEBUG_CONDITION 410
#define ID_DEBUG_RESTARTS 411
#define ID_DEBUG_FRAMES 412
#define ID_DEBUG_RESTARTS_LABEL 413
#define ID_DEBUG_FRAMES_LABEL 414
#define ID_DEBUG_EVAL_LABEL 415
#define ID_DEBUG_EVAL 416
#define ID_DEBUG_RESULT 417
#define ID_DEBUG_THREADS 418

/* The inspector window's controls: the object's title, its lines and the
   status line under them */
#define ID_INSPECT_TITLE 420
#define ID_INSPECT_LIST 421
#define ID_INSPECT_STATUS 422

#endif
