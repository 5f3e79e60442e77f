// What the host tests read of the effects a step of the session records:
// the transcript's text, the messages sent, and the effects of a kind;
// and a session connected to a Lisp, to step.
#ifndef KESTRALUNE_TESTS_EFFECTS_OF_H
#define KESTRALUNE_TESTS_EFFECTS_OF_H

#include "listener/core/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The text the step appends to the transcript, its pieces joined.
inline std::string TranscriptOf(const Effects &effects)
{
    std::string text;
    for (const Effect &e : effects)
        if (e.kind == EffectKind::Text)
            text += e.text;
    return text;
}

// The payloads the step sends, in order.
inline std::vector<std::string> MessagesOf(const Effects &effects)
{
    std::vector<std::string> messages;
    for (const Effect &e : effects)
        if (e.kind == EffectKind::Send)
            messages.push_back(e.text);
    return messages;
}

inline bool Has(const Effects &effects, EffectKind kind)
{
    for (const Effect &e : effects)
        if (e.kind == kind)
            return true;
    return false;
}

// The first effect of the kind; one with no data when there is none.
inline const Effect &FirstOf(const Effects &effects, EffectKind kind)
{
    static const Effect none = {};
    for (const Effect &e : effects)
        if (e.kind == kind)
            return e;
    return none;
}

// A request made while connecting, as it goes on the wire: its errors
// answer (:failed MESSAGE).
inline std::string Guarded(const std::string &form, long id)
{
    return "(:emacs-rex (cl:handler-case " + form +
           " (cl:serious-condition (condition) (cl:list :failed (cl:ignore-errors (cl:princ-to-string condition))))) "
           "\"COMMON-LISP-USER\" t " + std::to_string(id) + ")";
}

// A session whose REPL is made (ids 1 to 3 went to connecting).
struct Connected {
    Session s;
    Effects out;
    Connected()
    {
        s.helper = "(helper)";
        SessionConnected(s, out);
        Receive("(:return (:ok (:pid 7 :lisp-implementation (:type \"SBCL\" :version \"2.2.9\"))) 1)");
        Receive("(:return (:ok t) 2)");
        Receive("(:return (:ok (\"COMMON-LISP-USER\" \"CL-USER\")) 3)");
        EXPECT_EQ(LinkState::Ready, s.state);
    }
    Effects &Receive(const std::string &payload)
    {
        out = Effects();
        SessionMessage(s, payload, out);
        return out;
    }
};

#endif
