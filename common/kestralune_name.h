// The name under which the KESTRALUNE listener serves DDE: its service and
// its topic. The editor connects to it; the listener registers it.
#ifndef QUILLON_KESTRALUNE_NAME_H
#define QUILLON_KESTRALUNE_NAME_H

static const char KestraluneName[] = "KESTRALUNE";

#endif
