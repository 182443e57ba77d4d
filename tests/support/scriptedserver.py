# A small SMTP or POP3 server for tests of how the client copes with a
# server: one that refuses STARTTLS or STLS, floods or trickles its
# replies, or closes with 421. It prints its port, serves connections one
# at a time, and appends what it saw as JSON lines to EVENTS:
#   {"auth": "AUTH PLAIN ..."}    credentials arrived (any AUTH, USER, PASS)
#   {"sent": N}                   bytes of a flood or trickle it got out,
#                                  noted as soon as the client hangs up
#   {"message": N, "pipelined": B} a message ended; B: the next command
#                                  had already arrived with its end
# Usage: scriptedserver.py MODE EVENTS [TRICKLE_SECONDS]
import json, select, socket, struct, sys, time

mode, events = sys.argv[1], sys.argv[2]
trickle = float(sys.argv[3]) if len(sys.argv) > 3 else 0.3
pop3 = mode.startswith('pop3')


def note(**what):
    with open(events, 'a') as f:
        f.write(json.dumps(what) + '\n')


def hung_up(conn, seconds=0.0):
    # Whether the client has hung up (its FIN or a reset), waiting up to
    # `seconds` for it; what else it sends is read and dropped. A client that
    # shuts its socket while its window is full is noticed at once, not when
    # the kernel gives up on the orphaned socket.
    deadline = time.monotonic() + seconds
    p = select.poll()
    p.register(conn, select.POLLIN)
    while True:
        left = max(0.0, deadline - time.monotonic())
        if not p.poll(int(left * 1000)):
            return False
        try:
            if not conn.recv(65536, socket.MSG_DONTWAIT):
                return True
        except BlockingIOError:
            pass
        except OSError:
            return True


def flood(conn, piece, limit=200 * 1024 * 1024):
    sent = 0
    chunk = piece * max(1, 65536 // len(piece))
    p = select.poll()
    p.register(conn, select.POLLIN | select.POLLOUT)
    try:
        while sent < limit:
            ready = dict(p.poll()).get(conn.fileno(), 0)
            if ready & (select.POLLIN | select.POLLHUP | select.POLLERR) and hung_up(conn):
                # Nobody reads the rest: a reset frees both ends now.
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                break
            if ready & select.POLLOUT:
                try:
                    sent += conn.send(chunk[sent % len(chunk):], socket.MSG_DONTWAIT)
                except BlockingIOError:
                    pass
    except OSError:
        pass
    note(sent=sent)


def dribble(conn, text):
    sent = 0
    try:
        for byte in text:
            conn.sendall(bytes([byte]))
            sent += 1
            if hung_up(conn, trickle):
                break
    except OSError:
        pass
    note(sent=sent)


def serve(conn):
    buf = b''
    messages = 0
    in_data = False

    def say(line):
        conn.sendall(line.encode() + b'\r\n')

    if mode == 'smtp-greeting-flood':
        return flood(conn, b'220-' + b'x' * 70 + b'\r\n')
    say('+OK ready' if pop3 else '220 scripted ESMTP')
    while True:
        data = conn.recv(65536)
        if not data:
            return
        buf += data
        while True:
            if in_data:
                end = buf.find(b'\r\n.\r\n')
                if end < 0:
                    break
                buf = buf[end + 5:]
                in_data = False
                messages += 1
                note(message=messages, pipelined=buf.startswith(b'MAIL'))
                say('250 2.0.0 queued as %d' % messages)
                continue
            nl = buf.find(b'\r\n')
            if nl < 0:
                break
            line, buf = buf[:nl].decode('utf-8', 'replace'), buf[nl + 2:]
            word = line.split(' ')[0].upper()
            if word in ('AUTH', 'USER', 'PASS'):
                note(auth=line)
            if pop3:
                if word == 'CAPA':
                    say('+OK\r\nSTLS\r\nUSER\r\n.')
                elif word == 'STLS':
                    say('-ERR TLS not available')
                elif word == 'QUIT':
                    say('+OK bye')
                    return
                else:
                    say('+OK')
                continue
            if word in ('EHLO', 'HELO'):
                caps = ['250-scripted', '250-PIPELINING', '250-AUTH PLAIN LOGIN']
                if mode == 'smtp-starttls-refused':
                    caps.append('250-STARTTLS')
                say('\r\n'.join(caps) + '\r\n250 8BITMIME')
            elif word == 'STARTTLS':
                say('454 4.7.0 TLS not available due to temporary reason')
            elif word == 'AUTH':
                say('235 2.7.0 Authentication successful')
            elif word == 'MAIL':
                if mode == 'smtp-mail-flood':
                    return flood(conn, b'250-' + b'y' * 70 + b'\r\n')
                if mode == 'smtp-mail-endless-line':
                    return flood(conn, b'z' * 4096)
                if mode == 'smtp-mail-trickle':
                    return dribble(conn, b'250-' + b't' * 200 + b'\r\n250 OK\r\n')
                if mode == 'smtp-421-second' and messages == 1:
                    say('421 4.7.0 Too many messages from you, closing')
                    return
                say('250 2.1.0 OK')
            elif word == 'RCPT':
                say('250 2.1.5 OK')
            elif word == 'DATA':
                say('354 go ahead')
                in_data = True
            elif word == 'RSET':
                say('250 OK')
            elif word == 'QUIT':
                say('221 bye')
                return
            else:
                say('502 5.5.2 unknown command')


srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind((sys.argv[4] if len(sys.argv) > 4 else '127.0.0.1', 0))
srv.listen(8)
print(srv.getsockname()[1], flush=True)
while True:
    conn, _ = srv.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        serve(conn)
    except OSError:
        pass
    finally:
        conn.close()
