"""A bare Swank client for the tests of the Swank server the start command runs.

swank_peer.py PORT eval FORM     prints the output of FORM, a line break, its values
swank_peer.py PORT interrupt     starts (loop), interrupts it, leaves the
                                 debugger, then prints the value of (+ 1 2)
swank_peer.py PORT hold          starts (loop), prints "running", then
                                 "closed" once the server ends the connection
A frame is six hex digits giving the length of the UTF-8 s-expression that
follows. Replies other than the ones waited for (feature and indentation
updates) are skipped. Exits non-zero on anything unexpected.
"""
import re
import socket
import sys


class Peer:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=20)

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


def main():
    peer = Peer(int(sys.argv[1]))
    action = sys.argv[2]
    if action == "eval":
        print("\n".join(evaluate(peer, sys.argv[3], 1)))
    elif action == "interrupt":
        # Interrupted before it is under way, a request dies without an
        # answer: wait for the output the evaluation writes first, which
        # the REPL sends as it is written.
        peer.rex("(swank-repl:create-repl nil)", 4)
        peer.wait_for("(:return (:ok", " 4)")
        peer.rex(r'(swank-repl:listener-eval "(progn (princ \"looping\") (finish-output) (loop))")',
                 1, thread=":repl-thread")
        peer.wait_for('(:write-string "looping"')
        peer.send("(:emacs-interrupt :repl-thread)")
        debug = peer.wait_for("(:debug ")
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
