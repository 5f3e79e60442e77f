/* Identifiers shared by the resource script and the code. */
#ifndef QUILLON_RESOURCE_H
#define QUILLON_RESOURCE_H

/* File menu and the About command */
#define IDM_ABOUT 100
#define IDM_NEW 101
#define IDM_OPEN 102
#define IDM_SAVE 103
#define IDM_SAVEAS 104
#define IDM_PRINT 105
#define IDM_EXIT 106

/* Edit menu */
#define IDM_UNDO 200
#define IDM_CUT 201
#define IDM_COPY 202
#define IDM_PASTE 203
#define IDM_CLEAR 204
#define IDM_EVAL 205

/* Child identifier of the edit control */
#define ID_EDITOR 300

#endif
