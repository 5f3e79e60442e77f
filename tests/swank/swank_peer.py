"""A bare Swank client for the tests of the Swank server the start command runs.

swank_peer.py [--secret FILE] PORT ACTION [ARGUMENT]
With --secret, the first frame sent is the first line of FILE, as the server
requires when it was given that file.

swank_peer.py PORT info          prints the Lisp's implementation type from
                                 (swank:connection-info)
swank_peer.py PORT eval FORM     prints the output of FORM, a line break, its values
swank_peer.py PORT interrupt     starts (loop), interrupts it, leaves the
                                 debugger, then prints the value of (+ 1 2)
swank_peer.py PORT hold          starts (loop), prints "running", then
                                 "closed" once the server ends the connection
swank_peer.py PORT watch SECONDS has Swank send it all the Lisp's output (as
                                 the listener does), prints "watching", then
                                 for SECONDS prints the output of any thread
                                 that reaches it
swank_peer.py PORT refused HOW   sends a first frame HOW (request: a request,
                                 wrong: a wrong secret, garbage: bytes that are
                                 no frame, silent: nothing), then a request;
                                 prints "refused" when the server closes the
                                 connection without answering, "served" when
                                 it answers
swank_peer.py PORT flood COUNT   opens COUNT connections that send nothing,
                                 prints "closed N": how many of them the
                                 server closed within 2 s, then holds the
                                 others open 2 s more
A frame is six hex digits giving the length of the UTF-8 s-expression that
follows. Replies other than the ones waited for (feature and indentation
updates) are skipped. Exits non-zero on anything unexpected.
"""
import re
import select
import socket
import sys
import time


class Peer:
    def __init__(self, port, secret=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=20)
        if secret is not None:
            self.send(secret)

    def send(self, form):
        data = form.encode()
        self.sock.sendall(b"%06x" % len(data) + data)

    def read_exactly(self, count):
        data = b""
        while len(data) < count:
            part = self.sock.recv(count - len(data))
            if not part:
                raise EOFError
            data += part
        return data

    def receive(self):
        return self.read_exactly(int(self.read_exactly(6), 16)).decode()

    def wait_for(self, prefix, suffix=""):
        while True:
            message = self.receive()
            if message.startswith(prefix) and message.endswith(suffix):
                return message

    def wait_within(self, prefix, seconds):
        """The next message that begins with prefix, or None when none has
        begun within seconds."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.sock], [], [], left)[0]:
                return None
            message = self.receive()
            if message.startswith(prefix):
                return message

    def rex(self, call, request_id, thread="t"):
        self.send('(:emacs-rex %s "COMMON-LISP-USER" %s %d)' % (call, thread, request_id))


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def unquoted(text):
    return re.sub(r"\\(.)", r"\1", text, flags=re.S)


def evaluate(peer, form, request_id):
    peer.rex("(swank:eval-and-grab-output %s)" % quoted(form), request_id)
    reply = peer.wait_for("(:return", " %d)" % request_id)
    match = re.fullmatch(r'\(:return \(:ok \("(.*)" "(.*)"\)\) %d\)' % request_id, reply, re.S)
    if not match:
        sys.exit("unexpected reply: " + reply)
    return unquoted(match.group(1)), unquoted(match.group(2))


CONNECTION_INFO = "(:emacs-rex (swank:connection-info) nil t 1)"


def refused(peer, how):
    if how == "wrong":
        peer.send("not-the-secret")
    elif how == "garbage":
        peer.sock.sendall(b"zz\x00\xff(+ 1 2)\n")
    elif how not in ("request", "silent"):
        sys.exit("unknown way to be refused: " + how)
    if how != "silent":
        peer.send(CONNECTION_INFO)
    peer.sock.settimeout(30)
    try:
        while True:
            if peer.receive().startswith("(:return"):
                return "served"
    except (EOFError, ConnectionResetError):
        return "refused"


def flood(peer, port, count):
    sockets = [peer.sock] + [socket.create_connection(("127.0.0.1", port), timeout=20)
                             for _ in range(count - 1)]
    closed = set()
    deadline = time.monotonic() + 2
    while len(closed) < count and time.monotonic() < deadline:
        readable, _, _ = select.select([s for s in sockets if s not in closed], [], [], 0.1)
        for s in readable:
            try:
                if not s.recv(1):
                    closed.add(s)
            except OSError:
                closed.add(s)
    print("closed", len(closed), flush=True)
    time.sleep(2)
    for s in sockets:
        s.close()


def main():
    arguments = sys.argv[1:]
    secret = None
    if arguments[0] == "--secret":
        with open(arguments[1], encoding="utf-8") as file:
            secret = file.readline().rstrip("\r\n")
        arguments = arguments[2:]
    port, action = int(arguments[0]), arguments[1]
    peer = Peer(port, secret)
    if action == "info":
        peer.send(CONNECTION_INFO)
        reply = peer.wait_for("(:return", " 1)")
        match = re.search(r':lisp-implementation \(:type "([^"]*)"', reply)
        if not match:
            sys.exit("unexpected reply: " + reply)
        print(match.group(1))
    elif action == "eval":
        print("\n".join(evaluate(peer, arguments[2], 1)))
    elif action == "refused":
        print(refused(peer, arguments[2]))
    elif action == "flood":
        flood(peer, port, int(arguments[2]))
    elif action == "watch":
        peer.rex("(cl:setf swank::*globally-redirect-io* t)", 1)
        peer.wait_for("(:return", " 1)")
        peer.rex("(swank-repl:create-repl nil)", 2)
        peer.wait_for("(:return", " 2)")
        print("watching", flush=True)
        peer.sock.settimeout(float(arguments[2]))
        try:
            while True:
                message = peer.receive()
                if message.startswith("(:write-string"):
                    print(message, flush=True)
        except socket.timeout:
            pass
    elif action == "interrupt":
        # Interrupted before it is under way, a request dies without an
        # answer: wait for the output the evaluation writes first, which
        # the REPL sends as it is written.
        peer.rex("(swank-repl:create-repl nil)", 4)
        peer.wait_for("(:return (:ok", " 4)")
        peer.rex(r'(swank-repl:listener-eval "(progn (princ \"looping\") (finish-output) (loop))")',
                 1, thread=":repl-thread")
        peer.wait_for('(:write-string "looping"')
        # Swank 2.27 keeps an interrupt that comes while the thread is still
        # writing that output for its next check, which (loop) never makes:
        # asked again until the debugger opens.
        debug = None
        for _ in range(5):
            peer.send("(:emacs-interrupt :repl-thread)")
            debug = peer.wait_within("(:debug ", 3)
            if debug:
                break
        if not debug:
            sys.exit("no debugger after 5 interrupts")
        level = debug.split()[2]
        peer.rex("(swank:throw-to-toplevel)", 2, thread=debug.split()[1])
        peer.wait_for("(:return (:abort", " 1)")
        print(evaluate(peer, "(+ 1 2)", 3)[1], "after debugger level", level)
    elif action == "hold":
        peer.rex('(swank:eval-and-grab-output "(loop)")', 1)
        print("running", flush=True)
        try:
            while True:
                peer.receive()
        except (EOFError, ConnectionResetError):
            print("closed")
    else:
        sys.exit("unknown action " + action)


main()
