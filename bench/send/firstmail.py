# A one-connection SMTP server that notes when the client's first MAIL FROM
# arrives (time.time(), on standard output) and then serves the session to
# its end, so the client exits as after any run. It prints its port first.
import socket, sys, time

srv = socket.socket()
srv.bind(('127.0.0.1', 0))
srv.listen(1)
print(srv.getsockname()[1], flush=True)
conn, _ = srv.accept()
conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
conn.sendall(b'220 bench ESMTP\r\n')
buf, data, noted = b'', False, False
while True:
    chunk = conn.recv(65536)
    if not chunk:
        break
    buf += chunk
    while True:
        if data:
            end = buf.find(b'\r\n.\r\n')
            if end < 0:
                break
            buf, data = buf[end + 5:], False
            conn.sendall(b'250 queued\r\n')
            continue
        nl = buf.find(b'\r\n')
        if nl < 0:
            break
        line, buf = buf[:nl], buf[nl + 2:]
        word = line.split(b' ')[0].upper()
        if word == b'MAIL' and not noted:
            print('%.6f' % time.time(), flush=True)
            noted = True
        if word in (b'EHLO', b'HELO'):
            conn.sendall(b'250-bench\r\n250 PIPELINING\r\n')
        elif word == b'DATA':
            conn.sendall(b'354 go ahead\r\n')
            data = True
        elif word == b'QUIT':
            conn.sendall(b'221 bye\r\n')
            conn.close()
            sys.exit(0)
        else:
            conn.sendall(b'250 OK\r\n')
