// libFuzzer target over everything the listener does with bytes from the
// Lisp: the frame reader, the s-expression reader and the session's handling
// of each message. The first byte sets how the input is cut into reads; the
// rest is the byte stream. The session starts connected and ready, with
// evaluations waiting, so every kind of answer meets a state it can act on.
#include "listener/session.h"
#include "listener/swank_wire.h"

#include <stdint.h>
#include <stdlib.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t piece = data[0] + 1;
    data++;
    size--;

    Session s;
    SessionOutput out;
    SessionConnected(s, "(helper)", out);
    SessionMessage(s, "(:return (:ok (\"L\" \"1\")) 1)", out);
    SessionSubmit(s, "(a)", out);
    SessionSubmit(s, "(b)", out);

    FrameReader reader;
    for (size_t at = 0; at < size && s.connected; at += piece) {
        size_t count = size - at < piece ? size - at : piece;
        FeedBytes(reader, (const char *)data + at, count);
        std::string payload;
        FrameResult result;
        while ((result = NextFrame(reader, &payload)) == FrameReady) {
            if (payload.size() > MaxReadPayload)
                abort();
            out = SessionOutput();
            SessionMessage(s, payload, out);
            for (const std::string &message : out.messages) {
                Sexp sent;
                if (!ReadSexp(message, &sent))
                    abort();  // whatever came in, what goes out is well formed
            }
            if (out.closeConnection) {
                SessionLost(s, "closed", out);
                break;
            }
        }
        if (result == FrameMalformed || result == FrameTooLarge)
            SessionLost(s, "bad frame", out);
        if (s.runningId && s.runningId >= s.nextId)
            abort();
    }
    return 0;
}
