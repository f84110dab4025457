#!/usr/bin/env python3
"""An SFTP version 3 server on standard input and output, run in ssh's place ($CLIPNEST_SSH) so a test needs no
sshd. It serves the folder $FAKE_SFTP_ROOT, offers the extensions named in $FAKE_SFTP_EXTENSIONS (comma-separated, in
that order), writes each request's name to $FAKE_SFTP_LOG, and refuses a rename of a part into place when
$FAKE_SFTP_REFUSE_PLACING is set. The arguments ssh would take are ignored."""
import os
import struct
import sys

root = os.environ['FAKE_SFTP_ROOT']
extensions = [e for e in os.environ.get('FAKE_SFTP_EXTENSIONS', '').split(',') if e]
refuse_placing = bool(os.environ.get('FAKE_SFTP_REFUSE_PLACING'))
log = open(os.environ['FAKE_SFTP_LOG'], 'a')
stdin, stdout = sys.stdin.buffer, sys.stdout.buffer
handles = {}

OK, NO_SUCH_FILE, FAILURE = 0, 2, 4


def read_exactly(n):
    data = b''
    while len(data) < n:
        piece = stdin.read(n - len(data))
        if not piece:
            sys.exit(0)
        data += piece
    return data


def send(kind, body):
    stdout.write(struct.pack('>IB', len(body) + 1, kind) + body)
    stdout.flush()


def string(b):
    return struct.pack('>I', len(b)) + b


def status(rid, code):
    send(101, struct.pack('>II', rid, code) + string(b'status %d' % code) + string(b''))


class Reader:
    def __init__(self, body):
        self.body, self.at = body, 0

    def u32(self):
        self.at += 4
        return struct.unpack('>I', self.body[self.at - 4:self.at])[0]

    def u64(self):
        self.at += 8
        return struct.unpack('>Q', self.body[self.at - 8:self.at])[0]

    def str(self):
        n = self.u32()
        self.at += n
        return self.body[self.at - n:self.at]


def local(path):
    return os.path.join(root, path.decode().lstrip('/'))


while True:
    length, kind = struct.unpack('>IB', read_exactly(5))
    r = Reader(read_exactly(length - 1))
    if kind == 1:  # init
        send(2, struct.pack('>I', 3) + b''.join(string(e.encode()) + string(b'1') for e in extensions))
        continue
    rid = r.u32()
    if kind == 200:
        name = r.str()
        log.write(name.decode() + '\n')
    else:
        log.write({3: 'open', 4: 'close', 6: 'write', 7: 'lstat', 13: 'remove', 17: 'stat', 18: 'rename'}.get(
            kind, str(kind)) + '\n')
    log.flush()
    if kind == 17 or kind == 7:  # stat, lstat
        path = local(r.str())
        if os.path.exists(path):
            send(105, struct.pack('>II', rid, 0))
        else:
            status(rid, NO_SUCH_FILE)
    elif kind == 3:  # open for writing
        path = local(r.str())
        handle = str(len(handles)).encode()
        handles[handle] = open(path, 'wb')
        send(102, struct.pack('>I', rid) + string(handle))
    elif kind == 6:  # write
        handle, offset, data = r.str(), r.u64(), r.str()
        handles[handle].seek(offset)
        handles[handle].write(data)
        status(rid, OK)
    elif kind == 4:  # close
        handles.pop(r.str()).close()
        status(rid, OK)
    elif kind == 13:  # remove
        path = local(r.str())
        if os.path.exists(path):
            os.remove(path)
            status(rid, OK)
        else:
            status(rid, NO_SUCH_FILE)
    elif kind in (18, 200):  # rename, and posix-rename@openssh.com
        old, new = local(r.str()), local(r.str())
        if refuse_placing and old.endswith('.clipnest-part'):
            status(rid, FAILURE)
        elif not os.path.exists(old) or (kind == 18 and os.path.exists(new)):
            status(rid, NO_SUCH_FILE if not os.path.exists(old) else FAILURE)
        else:
            os.replace(old, new)
            status(rid, OK)
    else:
        status(rid, FAILURE)
