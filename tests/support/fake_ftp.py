#!/usr/bin/env python3
"""A plain FTP server for the tests, with the faults of real ones: on 127.0.0.1:PORT it serves every file as CONTENT
after USER, PASS and the usual commands, and MODE chooses what goes wrong:
  size550  SIZE is answered 550 (as some servers do), RETR works
  retr450  RETR is answered 450 (a transient refusal); retr450=NAME only for that file
  missing  SIZE and RETR are answered 550 (no such file)
  stor426once  uploads (STOR, APPE, DELE, RNFR, RNTO) go to the folder UPLOADS, but the first upload is answered 426
           once all its bytes arrived (as vsftpd does when a TLS upload closes badly) and stored nowhere
  stor425  every upload is answered 425 before its data connection is opened (as a server that takes no data
           connection from this address, or wants the secure session of the control connection reused, does)
Usage: fake_ftp.py PORT MODE CONTENT [UPLOADS]"""
import os
import socket
import sys
import threading

port, mode, content = int(sys.argv[1]), sys.argv[2], sys.argv[3].encode()
uploads = sys.argv[4] if len(sys.argv) > 4 else None
refused = []  # the uploads answered 426, across sessions


def session(control):
    f = control.makefile('rwb', buffering=0)
    data_listener = None

    def say(line):
        f.write((line + '\r\n').encode())

    say('220 fake')
    for raw in f:
        words = raw.decode(errors='replace').strip().split(' ', 1)
        verb = words[0].upper()
        if verb in ('USER',):
            say('331 password')
        elif verb == 'PASS':
            say('230 in')
        elif verb == 'PWD':
            say('257 "/"')
        elif verb in ('CWD', 'TYPE', 'MODE', 'STRU', 'OPTS'):
            say('200 ok' if verb != 'CWD' else '250 ok')
        elif verb == 'SYST':
            say('215 UNIX')
        elif verb == 'EPSV':
            data_listener = socket.socket()
            data_listener.bind(('127.0.0.1', 0))
            data_listener.listen(1)
            say('229 Entering Extended Passive Mode (|||%d|)' % data_listener.getsockname()[1])
        elif verb == 'PASV':
            data_listener = socket.socket()
            data_listener.bind(('127.0.0.1', 0))
            data_listener.listen(1)
            p = data_listener.getsockname()[1]
            say('227 Entering Passive Mode (127,0,0,1,%d,%d)' % (p >> 8, p & 255))
        elif verb == 'SIZE':
            if mode in ('size550', 'missing'):
                say('550 Could not get file size.')
            else:
                say('213 %d' % len(content))
        elif verb == 'MDTM':
            say('550 no')
        elif verb == 'RETR':
            name = words[1] if len(words) > 1 else ''
            if mode == 'retr450' or mode == 'retr450=' + name:
                say('450 Busy, try again later.')
            elif mode == 'missing':
                say('550 No such file.')
            else:
                say('150 here')
                conn, _ = data_listener.accept()
                conn.sendall(content)
                conn.close()
                say('226 done')
        elif verb in ('STOR', 'APPE') and mode == 'stor425':
            say('425 Security: Bad IP connecting.')
        elif verb in ('STOR', 'APPE') and uploads:
            say('150 send')
            conn, _ = data_listener.accept()
            data = b''
            while True:
                piece = conn.recv(65536)
                if not piece:
                    break
                data += piece
            conn.close()
            if mode == 'stor426once' and not refused:
                refused.append(words[1])
                say('426 Failure reading network stream.')
                continue
            with open(os.path.join(uploads, words[1]), 'ab' if verb == 'APPE' else 'wb') as out:
                out.write(data)
            say('226 done')
        elif verb == 'DELE' and uploads:
            path = os.path.join(uploads, words[1])
            if os.path.exists(path):
                os.remove(path)
                say('250 deleted')
            else:
                say('550 no such file')
        elif verb == 'RNFR' and uploads:
            renaming = os.path.join(uploads, words[1])
            say('350 ready')
        elif verb == 'RNTO' and uploads:
            os.replace(renaming, os.path.join(uploads, words[1]))
            say('250 renamed')
        elif verb == 'QUIT':
            say('221 bye')
            break
        else:
            say('502 no')
    control.close()


server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(('127.0.0.1', port))
server.listen(5)
while True:
    c, _ = server.accept()
    threading.Thread(target=session, args=(c,), daemon=True).start()
