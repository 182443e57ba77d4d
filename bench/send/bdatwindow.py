# The server's ceiling: a client that sends MAIL, RCPT and BDAT n LAST with
# the message for up to WINDOW messages without waiting, on one connection,
# and counts the replies as they come. Messages like the program's (about
# 1 KB of Japanese body in base64).
# Usage: bdatwindow.py HOST PORT COUNT WINDOW; prints "sent=N seconds=S rate=R".
import base64, socket, sys, threading, time

host, port, count, window = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
para = ('平素は格別のご高配を賜り、厚く御礼申し上げます。このたび弊社では春の新商品を発売いたしました。'
        '詳細につきましては同封の資料をご覧ください。ご不明な点がございましたらお気軽にお問い合わせください。\r\n')
body = ''
while len(body.encode()) < 1000:
    body += para


def message(i):
    text = ('株式会社サンプル%d\r\n営業部　山本太郎　様\r\n' % i + body).encode()
    b64 = base64.encodebytes(text).replace(b'\n', b'\r\n')
    head = ('From: shop@example.jp\r\nTo: customer%d@example.jp\r\nSubject: =?UTF-8?B?%s?=\r\n'
            'MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n'
            'Content-Transfer-Encoding: base64\r\n\r\n'
            % (i, base64.b64encode('春のご案内'.encode()).decode())).encode()
    data = head + b64
    return (b'MAIL FROM:<shop@example.jp>\r\nRCPT TO:<customer%d@example.jp>\r\nBDAT %d LAST\r\n'
            % (i, len(data)) + data)


s = socket.create_connection((host, port))
s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
f = s.makefile('rb')


def reply():
    while True:
        line = f.readline()
        if not line:
            raise SystemExit('connection lost')
        if line[3:4] != b'-':
            return line


reply()
s.sendall(b'EHLO bench.example.jp\r\n')
reply()
slots = threading.Semaphore(window)
accepted = 0


def read_all():
    global accepted
    for _ in range(count):
        replies = [reply() for _ in range(3)]
        if all(r.startswith(b'2') for r in replies):
            accepted += 1
        slots.release()


start = time.perf_counter()
reader = threading.Thread(target=read_all)
reader.start()
for i in range(count):
    slots.acquire()
    s.sendall(message(i))
reader.join()
seconds = time.perf_counter() - start
s.sendall(b'QUIT\r\n')
reply()
print('sent=%d seconds=%.3f rate=%.1f' % (accepted, seconds, accepted / seconds))
