# A TCP proxy on loopback in front of a POP3 server, for tests of a reader
# whose connection fails half-way. On its first connection it passes
# everything until the client's Nth RETR, forwards the first 200 bytes of
# the answer and then, by MODE, closes both ends ("cut") or forwards
# nothing more ("stall") until the client goes. Later connections pass
# straight through. It prints its port, and appends {"acted": MODE} to
# EVENTS once it has cut or stalled.
# Usage: popcut.py TARGET_PORT MODE N EVENTS
import json, socket, sys, threading

target, mode, nth, events = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), sys.argv[4]
first = [True]


def note(**what):
    with open(events, 'a') as f:
        f.write(json.dumps(what) + '\n')


def serve(client, acting):
    server = socket.create_connection(('127.0.0.1', target))
    state = {'retr': 0, 'armed': False, 'done': False}

    def upstream():
        try:
            while True:
                data = client.recv(65536)
                if not data:
                    break
                if acting:
                    state['retr'] += sum(1 for l in data.split(b'\r\n') if l.upper().startswith(b'RETR '))
                    state['armed'] = state['retr'] >= nth
                server.sendall(data)
        except OSError:
            pass
        for s in (server, client):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    threading.Thread(target=upstream, daemon=True).start()
    try:
        while True:
            data = server.recv(65536)
            if not data:
                break
            if state['armed'] and not state['done']:
                client.sendall(data[:200])
                state['done'] = True
                note(acted=mode)
                if mode == 'cut':
                    break
                continue
            if state['done']:
                continue  # stalled: the rest never reaches the client
            client.sendall(data)
    except OSError:
        pass
    for s in (server, client):
        try:
            s.shutdown(socket.SHUT_RDWR)
            s.close()
        except OSError:
            pass


srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(('127.0.0.1', 0))
srv.listen(8)
print(srv.getsockname()[1], flush=True)
while True:
    conn, _ = srv.accept()
    acting, first[0] = first[0], False
    threading.Thread(target=serve, args=(conn, acting), daemon=True).start()
