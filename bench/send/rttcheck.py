# The round trip the delaying proxy adds, measured on an echo server of its
# own (Nagle off) so nothing but the proxy is timed: a line and its echo,
# through the proxy and straight, median of 20 each. Prints the difference
# in ms. Usage: rttcheck.py RTT_MS
import os, socket, statistics, subprocess, sys, threading, time

here = os.path.dirname(os.path.abspath(__file__))
echo = socket.socket()
echo.bind(('127.0.0.1', 0))
echo.listen(4)


def serve():
    while True:
        c, _ = echo.accept()
        c.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

        def run(c=c):
            while True:
                data = c.recv(4096)
                if not data:
                    return
                c.sendall(data)
        threading.Thread(target=run, daemon=True).start()


threading.Thread(target=serve, daemon=True).start()
proxy = subprocess.Popen([sys.executable, os.path.join(here, 'delayproxy.py'), '127.0.0.1',
                          str(echo.getsockname()[1]), sys.argv[1]], stdout=subprocess.PIPE, text=True)
proxy_port = int(proxy.stdout.readline())


def median_rtt(port):
    s = socket.create_connection(('127.0.0.1', port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    times = []
    for _ in range(20):
        t0 = time.perf_counter()
        s.sendall(b'NOOP\r\n')
        got = b''
        while len(got) < 6:
            got += s.recv(64)
        times.append(time.perf_counter() - t0)
    s.close()
    return statistics.median(times) * 1000


try:
    print('%.1f' % (median_rtt(proxy_port) - median_rtt(echo.getsockname()[1])))
finally:
    proxy.kill()
