#!/usr/bin/env python3
"""A stand-in LDAP server on a free loopback port, for the lab suites.

    ldap_standin.py [--lifetime SECONDS] [--record FILE] MODE [ARGS...]

It prints its port on the first line of standard output, then one line for each thing it
does (the "event" lines the suites wait for or check). It listens on 127.0.0.1 only, lives
at most --lifetime seconds (default 30) and stops at once, cleanly, on SIGTERM. With
--record, every byte any client sends is appended to FILE, whatever the mode; bytes still
waiting in a socket when the stand-in stops are read and recorded first, so a suite that
stops it after the client has exited sees everything the client sent.

The relaying modes talk to the lab DC at 127.0.0.1:389.

  silent       accepts connections and never answers ("accepted" for each)
  record       the same; named for its use as a server that must receive nothing
  drop SPEC    relays one connection, but never passes on some of the client's requests
               after the bind: "2" only the 2nd, "2-" the 2nd and all later ones (the 1st
               request after the bind is the RootDSE read). The DC never sees a dropped
               request, so it never answers it.
  close        accepts one connection, reads the start of the bind, closes it ("read")
  garbage      the same, but answers with bytes that are no LDAP message and keeps the
               connection open ("read")
  cut N        relays one connection; when the client's N-th request after the bind
               arrives it is not passed on: the connection and the listener close at once
               ("cut")
  hold N       the same, but the N-th request is held and the connection stays until the
               DC closes it ("holding", then "server closed")
  applied-drop N
               relays one connection; the N-th request after the bind is passed on, and
               when the DC's answer to it arrives it is not relayed: the connection and the
               listener close at once ("dropped"). The DC has done what was asked; the
               client only sees the connection lost.
  swallow N    the same, but that answer is kept back and the connection stays open, still
               relaying everything else, until the client closes it ("swallowed")
  relay        relays every connection unchanged ("accepted" for each)
  stall DIRECTION N
               relays every connection until the client's N-th modify request (DIRECTION
               request: it is not passed on) or the DC's N-th modify answer (DIRECTION
               answer: the DC has made the change, the client never hears of it) arrives;
               from then on nothing passes either way, and the connection stays until one
               side closes it ("held"). Plain LDAP only, as for referral.
  referral URL relays every connection, but answers each write request itself with a
               referral to URL, never passing it on ("referred OPERATION MESSAGEID" for
               each). URL is in the referral field only, not in the diagnostic text. It reads plain LDAP only, so the client must bind without a SASL
               security layer (LDAPSASL_SECPROPS=maxssf=0); anything else passes unchanged.
  windows RANGE PAGE
               relays every connection as a Windows DC answers at small limits (RANGE
               values of an attribute, PAGE entries of an unpaged search). In each search
               entry an attribute with more than RANGE values that was not asked for by
               range comes as NAME;range=0-(RANGE-1) with its first RANGE values; a ranged
               answer of the DC (asked as NAME;range=L-* or L-H) is cut to RANGE values the
               same way, named NAME;range=L-(L+RANGE-1) unless it ends with the last value
               (each "ranged NAME COUNT", NAME and COUNT as the DC answered). A search
               without the paged results control that finds more than PAGE entries gets the
               first PAGE, then a SearchResultDone with resultCode 4, sizeLimitExceeded
               ("cut COUNT", COUNT the entries the DC found); paged searches are never cut.
               The RootDSE is left alone: no DC's has that many values. A modify with the
               permissive modify control that the DC answers 20 or 68 (a value already
               there) is answered 0 ("permissive MESSAGEID"), as a Windows DC answers it.
               Plain LDAP only, as for referral.
  treelimit N  relays every connection, but answers a tree delete (a delete with the tree
               delete control) of more than N objects as a Windows DC at a limit of N: it
               reads the subtree and deletes its N deepest objects itself, one by one,
               through the client's own connection to the DC, then answers
               adminLimitExceeded (11) ("treelimit deleted N LEFT", LEFT the objects kept).
               A tree of N objects or fewer is passed on as it came ("treelimit passed").
               Plain LDAP only, as for referral.
  delay MS     relays every connection, passing each chunk on MS milliseconds after it was
               read, in each direction (a round trip costs 2 x MS more); chunks queue with
               their due times, so what a client pipelines stays pipelined ("accepted" for
               each connection, "held AVERAGE_MS" when it ends). For the benchmarks.
"""

import argparse
import collections
import os
import select
import signal
import socket
import sys
import time

DC_ADDRESS = ("127.0.0.1", 389)

PAGED_RESULTS_OID = b"1.2.840.113556.1.4.319"
PERMISSIVE_MODIFY_OID = b"1.2.840.113556.1.4.1413"
SEARCH_REQUEST, SEARCH_ENTRY, SEARCH_DONE = 0x63, 0x64, 0x65
MODIFY_REQUEST, MODIFY_RESPONSE = 0x66, 0x67

# Write requests, by protocolOp tag: the name shown and the tag of the response.
WRITE_REQUESTS = {
    0x66: ("modify", 0x67),
    0x68: ("add", 0x69),
    0x4A: ("delete", 0x6B),
    0x6C: ("moddn", 0x6D),
    0x77: ("extended", 0x78),
}


class Stop(Exception):
    """Raised by the SIGTERM handler: the stand-in ends where it stands."""


def say(text):
    print(text, flush=True)


class Recorder:
    """Appends every byte received from a client to one file, unbuffered."""

    def __init__(self, path):
        self.file = open(path, "ab", buffering=0) if path else None
        self.clients = []

    def watch(self, sock):
        self.clients.append(sock)
        return sock

    def recv(self, sock, size=65536):
        data = sock.recv(size)
        if self.file and data:
            self.file.write(data)
        return data

    def drain(self):
        # What a client sent before it went away may still wait in the socket.
        for sock in self.clients:
            try:
                sock.setblocking(False)
                while True:
                    data = self.recv(sock)
                    if not data:
                        break
            except OSError:
                pass


def frame_length(buf):
    """Length of the first whole frame in buf, or None while it is incomplete.

    Bind messages travel as plain LDAP (BER); with a SASL security layer everything after
    the bind travels in buffers led by their 4-byte length.
    """
    if buf[:1] == b"\x30":
        if len(buf) < 2:
            return None
        if buf[1] < 0x80:
            return 2 + buf[1]
        k = buf[1] & 0x7F
        return None if len(buf) < 2 + k else 2 + k + int.from_bytes(buf[2:2 + k], "big")
    return None if len(buf) < 4 else 4 + int.from_bytes(buf[:4], "big")


def take_frames(pending):
    """Splits the whole frames off pending; returns (frames, rest)."""
    frames = []
    while pending:
        n = frame_length(pending)
        if n is None or len(pending) < n:
            break
        frames.append(pending[:n])
        pending = pending[n:]
    return frames, pending


def is_bind(frame):
    return frame[0] == 0x30 and b"\x60" in frame[:12]


def ber_length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def ber(tag, content):
    return bytes([tag]) + ber_length(len(content)) + content


def elements(data):
    """The (tag, content) of each BER element in data, in order."""
    found, pos = [], 0
    while pos < len(data):
        tag, size = data[pos], data[pos + 1]
        pos += 2
        if size & 0x80:
            k = size & 0x7F
            size, pos = int.from_bytes(data[pos:pos + k], "big"), pos + k
        found.append((tag, data[pos:pos + size]))
        pos += size
    return found


def message(message_id, op_tag, op_content, rest=b""):
    """An LDAPMessage: messageID, protocolOp, and rest (its controls, if any)."""
    size = max(1, (message_id.bit_length() + 8) // 8)
    return ber(0x30, ber(0x02, message_id.to_bytes(size, "big", signed=True))
               + ber(op_tag, op_content) + rest)


def read_header(frame):
    """(messageID, protocolOp tag) of a plain LDAP message, or None."""
    try:
        if frame[0] != 0x30:
            return None
        pos = 2 + (frame[1] & 0x7F if frame[1] & 0x80 else 0)
        if frame[pos] != 0x02:
            return None
        size = frame[pos + 1]
        if size & 0x80 or not 1 <= size <= 4:
            return None
        message_id = int.from_bytes(frame[pos + 2:pos + 2 + size], "big", signed=True)
        return message_id, frame[pos + 2 + size]
    except IndexError:
        return None


def referral_response(message_id, response_tag, url):
    """An LDAPResult of resultCode 10 (referral) naming url, as a server refers a write."""
    # Worded as a directory server words it, but without the URL: a client that names the
    # referred server can only have read it from the referral field.
    text = "0000202B: RefErr: DSID-0310082F, data 0, 1 access points"
    result = (ber(0x0A, b"\x0a")                       # resultCode referral
              + ber(0x04, b"")                         # matchedDN
              + ber(0x04, text.encode())               # diagnosticMessage
              + ber(0xA3, ber(0x04, url.encode())))    # referral [3]
    return message(message_id, response_tag, result)


def referral_rewrite(url):
    """For relay: each write request is answered with a referral to url, never passed on."""
    def rewrite(frame, from_client, state):
        header = read_header(frame) if from_client else None
        if header and header[1] in WRITE_REQUESTS:
            name, response_tag = WRITE_REQUESTS[header[1]]
            say("referred %s %d" % (name, header[0]))
            return b"", referral_response(header[0], response_tag, url)
        return frame, b""
    return rewrite


def stall_rewrite(direction, limit):
    """For relay: at the limit-th modify request or answer, nothing more passes (see the
    stall mode)."""
    from_watched, watched_tag = {"request": (True, MODIFY_REQUEST),
                                 "answer": (False, MODIFY_RESPONSE)}[direction]

    def rewrite(frame, from_client, state):
        if state.get("held"):
            return b"", b""
        header = read_header(frame) if from_client == from_watched else None
        if header and header[1] == watched_tag:
            state["modifies"] = state.get("modifies", 0) + 1
            if state["modifies"] == limit:
                state["held"] = True
                say("held")
                return b"", b""
        return frame, b""
    return rewrite


def ranged(name, values, limit):
    """(name, values) as a Windows DC gives them at MaxValRange limit; None if unchanged."""
    if len(values) <= limit:
        return None
    base, _, option = name.partition(";range=")
    low = int(option.split("-")[0]) if option else 0
    return "%s;range=%d-%d" % (base, low, low + limit - 1), values[:limit]


def oids(parts):
    """The OIDs of the controls of a message, from its parts (elements of its body)."""
    controls = elements(parts[2][1]) if len(parts) > 2 else []
    return [elements(control)[0][1] for _, control in controls]


def windows_rewrite(range_limit, page_limit):
    """For relay: searches answered as a Windows DC answers them (see the windows mode)."""
    def rewrite(frame, from_client, state):
        if frame[:1] != b"\x30":
            return frame, b""  # a SASL buffer passes as it is
        try:
            (_, body), = elements(frame)
            parts = elements(body)
            message_id = int.from_bytes(parts[0][1], "big", signed=True)
            searches = state.setdefault("searches", {})
            permissive = state.setdefault("permissive", set())
            if from_client:
                search_request(searches, message_id, parts)
                if parts[1][0] == MODIFY_REQUEST and PERMISSIVE_MODIFY_OID in oids(parts):
                    permissive.add(message_id)
                return frame, b""
            if message_id in searches:
                return search_answer(searches, message_id, parts, frame), b""
            if message_id in permissive and parts[1][0] == MODIFY_RESPONSE:
                permissive.discard(message_id)
                if elements(parts[1][1])[0][1] in (b"\x14", b"\x44"):
                    say("permissive %d" % message_id)
                    return message(message_id, MODIFY_RESPONSE,
                                   ber(0x0A, b"\x00") + ber(0x04, b"") * 2), b""
        except (IndexError, ValueError):
            pass  # not a message this mode reads
        return frame, b""

    def search_request(searches, message_id, parts):
        op_tag, op = parts[1]
        if op_tag == SEARCH_REQUEST and elements(op)[0][1]:  # the RootDSE is left alone
            searches[message_id] = {"paged": PAGED_RESULTS_OID in oids(parts), "entries": 0}

    def search_answer(searches, message_id, parts, frame):
        search, (op_tag, op) = searches[message_id], parts[1]
        if op_tag == SEARCH_DONE:
            del searches[message_id]
            if search["entries"] <= page_limit or search["paged"]:
                return frame
            say("cut %d" % search["entries"])
            return message(message_id, SEARCH_DONE, ber(0x0A, b"\x04") + ber(0x04, b"") * 2)
        if op_tag != SEARCH_ENTRY:
            return frame
        search["entries"] += 1
        if search["entries"] > page_limit and not search["paged"]:
            return b""
        (_, dn), (_, attributes) = elements(op)
        rewritten, changed = b"", False
        for _, attribute in elements(attributes):
            (_, name), (_, values) = elements(attribute)
            values = [ber(0x04, value) for _, value in elements(values)]
            cut = ranged(name.decode(), values, range_limit)
            if cut:
                say("ranged %s %d" % (name.decode(), len(values)))
                (name, values), changed = (cut[0].encode(), cut[1]), True
            rewritten += ber(0x30, ber(0x04, name) + ber(0x31, b"".join(values)))
        if not changed:
            return frame
        rest = b"".join(ber(tag, content) for tag, content in parts[2:])
        return message(message_id, SEARCH_ENTRY, ber(0x04, dn) + ber(0x30, rewritten), rest)

    return rewrite


TREE_DELETE_OID = b"1.2.840.113556.1.4.805"
DELETE_REQUEST, DELETE_RESPONSE = 0x4A, 0x6B
OWN_MESSAGE_IDS = 1 << 30  # the stand-in's own requests: above any the client uses


def subtree_names_request(message_id, base):
    """A subtree search of base for the names only (attribute 1.1)."""
    search = (ber(0x04, base) + ber(0x0A, b"\x02") + ber(0x0A, b"\x00") + ber(0x02, b"\x00")
              + ber(0x02, b"\x00") + ber(0x01, b"\x00") + ber(0x87, b"objectClass")
              + ber(0x30, ber(0x04, b"1.1")))
    return message(message_id, SEARCH_REQUEST, search)


def treelimit_rewrite(limit):
    """For relay: a tree delete past limit objects is cut short (see the treelimit mode)."""
    def rewrite(frame, from_client, state):
        try:
            (_, body), = elements(frame) if frame[:1] == b"\x30" else [(0, b"")]
            parts = elements(body)
            message_id = int.from_bytes(parts[0][1], "big", signed=True)
            op_tag, op = parts[1]
        except (IndexError, ValueError):
            return frame, b""  # not a message this mode reads
        if from_client:
            if op_tag != DELETE_REQUEST or TREE_DELETE_OID not in frame:
                return frame, b""
            state.update(tree=frame, asker=message_id, names=[])
            return subtree_names_request(OWN_MESSAGE_IDS, op), b""
        if message_id < OWN_MESSAGE_IDS:
            return frame, b""
        if op_tag == SEARCH_ENTRY:
            state["names"].append(elements(op)[0][1])
            return b"", b""
        if op_tag == SEARCH_DONE:
            names = state["names"]
            if len(names) <= limit:
                say("treelimit passed")
                return b"", state["tree"]
            # The deepest first: an object's children are deeper, so they go before it.
            names.sort(key=lambda name: name.count(b","), reverse=True)
            state["doomed"], state["left"] = names[:limit], len(names) - limit
        doomed = state["doomed"]
        if doomed:
            return b"", message(OWN_MESSAGE_IDS + len(doomed), DELETE_REQUEST, doomed.pop(0))
        say("treelimit deleted %d %d" % (limit, state["left"]))
        result = ber(0x0A, b"\x0b") + ber(0x04, b"") + ber(0x04, b"tree delete limit reached")
        return message(state["asker"], DELETE_RESPONSE, result), b""
    return rewrite


class Standin:
    def __init__(self, lifetime, record):
        self.end = time.time() + lifetime
        self.rec = Recorder(record)
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        say(self.listener.getsockname()[1])

    def left(self):
        return max(0.0, self.end - time.time())

    def accept_one(self):
        self.listener.settimeout(self.left())
        client = self.listener.accept()[0]
        return self.rec.watch(client)

    # -- modes that never answer ------------------------------------------------------

    def silent(self):
        held = []
        while self.left() > 0:
            ready = select.select([self.listener] + held, [], [], min(0.2, self.left()))[0]
            for sock in ready:
                if sock is self.listener:
                    held.append(self.rec.watch(self.listener.accept()[0]))
                    say("accepted")
                    continue
                try:
                    data = self.rec.recv(sock)
                except OSError:
                    data = b""
                if not data:
                    held.remove(sock)
                    sock.close()

    # -- modes that fail the bind ---------------------------------------------------------

    def fail_bind(self, mode):
        client = self.accept_one()
        client.settimeout(5)
        try:
            self.rec.recv(client, 16)
        except socket.timeout:
            pass
        say("read")
        if mode == "close":
            client.close()
            time.sleep(min(5, self.left()))
            return
        # An LDAPMessage header that promises more than follows, then noise.
        client.sendall(b"\x30\x05\x02\x01\x01\x0a\x00" + os.urandom(64))
        client.settimeout(None)
        while self.left() > 0:
            if client in select.select([client], [], [], min(0.2, self.left()))[0]:
                if not self.rec.recv(client):
                    break
        time.sleep(self.left())

    # -- one relayed connection that loses requests -----------------------------------

    def lossy_relay(self, mode, arg):
        if mode == "drop":
            if arg.endswith("-"):
                first = int(arg[:-1])
                lost = lambda n: n >= first
            else:
                only = int(arg)
                lost = lambda n: n == only
        else:
            limit = int(arg)
        client = self.accept_one()
        server = socket.create_connection(DC_ADDRESS)
        pending, requests, holding = b"", 0, False
        # applied-drop, swallow: the DC's messages, whole, and the ID of the lost answer.
        answers, lost_answer = b"", None
        while self.left() > 0:
            ready = select.select([client, server], [], [], 0.2)[0]
            if server in ready:
                data = server.recv(65536)
                if not data:
                    if mode != "drop":
                        say("server closed")
                    break
                if mode not in ("applied-drop", "swallow"):
                    client.sendall(data)
                else:
                    frames, answers = take_frames(answers + data)
                    for frame in frames:
                        header = read_header(frame)
                        if lost_answer is None or header is None or header[0] != lost_answer:
                            client.sendall(frame)
                        elif mode == "applied-drop":
                            say("dropped")
                            client.close()
                            self.listener.close()
                            return
                        elif not holding:
                            say("swallowed")
                            holding = True  # that answer only; the rest still passes
            if client in ready:
                data = self.rec.recv(client)
                if not data:
                    break
                pending += data
                while pending and not (holding and mode == "hold"):
                    n = frame_length(pending)
                    if n is None or len(pending) < n:
                        break
                    frame, pending = pending[:n], pending[n:]
                    if is_bind(frame):
                        server.sendall(frame)
                        continue
                    requests += 1
                    if mode == "drop":
                        if not lost(requests):
                            server.sendall(frame)
                        continue
                    if requests == limit and mode in ("applied-drop", "swallow"):
                        lost_answer = (read_header(frame) or (None,))[0]
                    elif requests == limit:
                        if mode == "cut":
                            say("cut")
                            client.close()
                            self.listener.close()
                            return
                        say("holding")
                        holding = True
                        break
                    server.sendall(frame)
        if mode != "drop":
            client.close()

    # -- relays of every connection ---------------------------------------------------

    def accept_pair(self):
        """A client accepted (its bytes recorded) and its own connection to the DC; (None,
        None) when the DC cannot be reached, the client then closed."""
        client = self.rec.watch(self.listener.accept()[0])
        try:
            return client, socket.create_connection(DC_ADDRESS, timeout=5)
        except OSError:
            client.close()
            return None, None

    def relay(self, rewrite=None):
        # Per connection: the peer socket, the bytes not yet split into frames (for the
        # modes that pass on and answer whole messages only) and what rewrite keeps.
        peer, pending, is_client, state = {}, {}, {}, {}
        while self.left() > 0:
            ready = select.select([self.listener] + list(peer), [], [], min(0.2, self.left()))[0]
            for sock in ready:
                if sock is self.listener:
                    client, server = self.accept_pair()
                    if client is None:
                        continue
                    server.settimeout(None)
                    peer[client], peer[server] = server, client
                    pending[client], pending[server] = b"", b""
                    is_client[client], is_client[server] = True, False
                    state[client] = state[server] = {}
                    say("accepted")
                    continue
                if sock not in peer:
                    continue  # closed earlier in this round
                other = peer[sock]
                try:
                    data = self.rec.recv(sock) if is_client[sock] else sock.recv(65536)
                except OSError:
                    data = b""
                if not data:
                    for end in (sock, other):
                        end.close()
                        del peer[end], pending[end], is_client[end], state[end]
                    continue
                try:
                    self.pass_on(sock, other, data, pending, is_client[sock], state[sock],
                                 rewrite)
                except OSError:
                    # One end went away while written to: this connection is over.
                    for end in (sock, other):
                        end.close()
                        del peer[end], pending[end], is_client[end], state[end]

    def delay(self, hold):
        # Non-blocking sockets: a relay blocked in a write to one side while that side waits
        # for it to read would stall both. A side whose peer has 16 MiB queued is not read.
        peer, due, out, held, clients, ended = {}, {}, {}, {}, set(), set()
        while self.left() > 0:
            now = time.monotonic()
            for sock, queue in due.items():
                while queue and queue[0][0] <= now and not (queue[0][1] is None and out[sock]):
                    stamp, data = queue.popleft()
                    if data is None:
                        out[sock] = None
                        break
                    held[sock][0] += now - stamp + hold
                    held[sock][1] += 1
                    out[sock] += data
            for sock in [s for s in out if out[s] is None]:
                if sock not in peer:
                    continue  # the other end of a pair closed in this round
                # The other side ended, and all it sent before has been passed on.
                pair = (sock, peer[sock])
                say("held %.2f" % (sum(held[s][0] for s in pair) * 1e3
                                   / max(1, sum(held[s][1] for s in pair))))
                for end in pair:
                    end.close()
                    clients.discard(end)
                    ended.discard(end)
                    for table in (peer, due, out, held):
                        del table[end]
            readers = [s for s in peer if s not in ended
                       and sum(len(d or b"") for _, d in due[peer[s]]) < 1 << 24]
            waits = [q[0][0] - now for q in due.values() if q] + [0.2, self.left()]
            ready, writable, _ = select.select([self.listener] + readers,
                                               [s for s in out if out[s]], [], max(0, min(waits)))
            for sock in writable:
                try:
                    out[sock] = out[sock][sock.send(out[sock]):]
                except BlockingIOError:
                    pass
                except OSError:
                    out[sock] = None
            for sock in ready:
                if sock is self.listener:
                    client, server = self.accept_pair()
                    if client is None:
                        continue
                    clients.add(client)
                    peer[client], peer[server] = server, client
                    for end in (client, server):
                        end.setblocking(False)
                        due[end], out[end], held[end] = collections.deque(), b"", [0.0, 0]
                    say("accepted")
                    continue
                try:
                    data = self.rec.recv(sock) if sock in clients else sock.recv(65536)
                except BlockingIOError:
                    continue
                except OSError:
                    data = b""
                if not data:
                    ended.add(sock)
                # The end of the stream is queued too, behind the data sent before it.
                due[peer[sock]].append((time.monotonic() + hold, data or None))

    @staticmethod
    def pass_on(sock, other, data, pending, from_client, state, rewrite):
        if rewrite is None:
            other.sendall(data)
            return
        frames, pending[sock] = take_frames(pending[sock] + data)
        for frame in frames:
            onward, back = rewrite(frame, from_client, state)
            other.sendall(onward)
            sock.sendall(back)


def main():
    parser = argparse.ArgumentParser(description="A stand-in LDAP server on loopback.")
    parser.add_argument("--lifetime", type=float, default=30.0)
    parser.add_argument("--record", metavar="FILE")
    arguments = {"silent": 0, "record": 0, "drop": 1, "close": 0, "garbage": 0, "cut": 1,
                 "hold": 1, "applied-drop": 1, "swallow": 1, "relay": 0, "referral": 1,
                 "windows": 2, "delay": 1, "treelimit": 1, "stall": 2}
    parser.add_argument("mode", choices=list(arguments))
    parser.add_argument("args", nargs="*")
    options = parser.parse_args()
    if len(options.args) != arguments[options.mode]:
        parser.error("mode %s takes %d arguments" % (options.mode, arguments[options.mode]))
    arg = options.args[0] if options.args else None
    if options.mode == "stall" and arg not in ("request", "answer"):
        parser.error("mode stall takes request or answer, then a count")
    if options.lifetime <= 0 or options.lifetime > 600:
        parser.error("--lifetime must be between 0 and 600 seconds")

    def stop(signum, frame):
        raise Stop()

    signal.signal(signal.SIGTERM, stop)
    standin = Standin(options.lifetime, options.record)
    try:
        if options.mode in ("silent", "record"):
            standin.silent()
        elif options.mode in ("close", "garbage"):
            standin.fail_bind(options.mode)
        elif options.mode == "referral":
            standin.relay(referral_rewrite(arg))
        elif options.mode == "windows":
            standin.relay(windows_rewrite(*(int(n) for n in options.args)))
        elif options.mode == "stall":
            standin.relay(stall_rewrite(arg, int(options.args[1])))
        elif options.mode == "treelimit":
            standin.relay(treelimit_rewrite(int(arg)))
        elif options.mode == "delay":
            standin.delay(float(arg) / 1000.0)
        elif options.mode == "relay":
            standin.relay()
        else:
            standin.lossy_relay(options.mode, arg)
    except (Stop, socket.timeout):
        pass
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        standin.rec.drain()


if __name__ == "__main__":
    sys.exit(main())
