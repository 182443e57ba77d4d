# An SMTP server that keeps every message it stores and misbehaves exactly
# where a test tells it to, for tests of what a run does when a reply is
# empty, lost or refused, and for killing a client at a known moment.
#
# Usage: faultserver.py CONFIG EVENTS
# CONFIG is JSON: {"pipelining": true, "smtputf8": true,
#   "size": null or the SIZE keyword's parameter ("" for none),
#   "auth": false (true: AUTH PLAIN offered and taken),
#   "chunking": false (true: CHUNKING offered; BDAT n [LAST] takes a
#     message, and the BDAT LAST is its dataend step),
#   "dead": "" or a prefix: RCPT TO an address starting with it is refused
#     (550, unknown user),
#   "hold_after": 0 or N: once a connection has had N replies 4xx or 5xx,
#     every later reply on it is held back, never sent (as servers slow
#     down clients that make errors),
#   "rules": [{"on": STEP, "nth": N or "every": true, "do": ACTION}, ...]}
# STEP: greeting, ehlo, helo, auth, mail, rcpt, data, dataend, quit (N counts
# that step over the server's life, from 1). ACTION:
#   "say:TEXT"      reply TEXT ("" gives a bare CR LF) but go on as if the
#                   step succeeded (a dataend stores the message)
#   "refuse:TEXT"   reply TEXT and treat the step as refused
#   "close:TEXT"    reply TEXT, then close the connection (a dataend that
#                   is closed on has not stored its message)
#   "drop"          close without a reply; a dataend stores the message first
#   "stall"         note it and answer nothing more on this connection; a
#                   dataend stores the message first
# Events appended to EVENTS, one JSON object a line:
#   {"connected": n}  {"stalled": STEP, "n": N}  {"held": STEP, "connection": n}
#   {"hello": "EHLO" or "HELO", "name": ..., "connection": n}
#   {"mail": "MAIL FROM:<...> ...", "connection": n}
#   {"stored": k, "from": ..., "rcpt": [...], "raw": latin-1 text}
# Each connection is served on a thread of its own, as real servers do.
import json, socket, sys, threading

config = json.load(open(sys.argv[1]))
events = sys.argv[2]
counts = {}
stored = 0
connections = 0
lock = threading.RLock()


def note(**what):
    with lock, open(events, 'a') as f:
        f.write(json.dumps(what) + '\n')


def rule_for(step):
    with lock:
        counts[step] = counts.get(step, 0) + 1
        for r in config.get('rules', []):
            if r['on'] == step and (r.get('every') or r.get('nth') == counts[step]):
                return r['do'], counts[step]
        return None, counts[step]


class Stall(Exception):
    pass


class Drop(Exception):
    pass


def serve(conn, number):
    buf = b''
    state = {'from': None, 'rcpt': [], 'data': False, 'msg': b'', 'errors': 0, 'step': 'greeting',
             'chunk': 0, 'last': False}
    hold_after = config.get('hold_after', 0)

    def say(text):
        if hold_after and state['errors'] >= hold_after:
            note(held=state['step'], connection=number)
            raise Stall()
        conn.sendall(text.encode('utf-8') + b'\r\n')
        if text[:1] in ('4', '5'):
            state['errors'] += 1

    def store():
        global stored
        with lock:
            stored += 1
            note(stored=stored, rcpt=state['rcpt'], raw=state['msg'].decode('latin-1'), **{'from': state['from']})

    def act(step, default):
        """Runs the rule of a step; True when the step goes on as succeeded."""
        state['step'] = step
        action, n = rule_for(step)
        if action is None:
            say(default)
            return True
        kind, _, text = action.partition(':')
        if kind == 'say':
            say(text)
            return True
        if kind == 'refuse':
            say(text)
            return False
        if kind == 'close':
            say(text)
            raise Drop()
        if kind == 'drop':
            if step == 'dataend':
                store()
            raise Drop()
        if kind == 'stall':
            if step == 'dataend':
                store()
            note(stalled=step, n=n)
            raise Stall()
        raise ValueError(action)

    act('greeting', '220 fault ESMTP')
    while True:
        data = conn.recv(65536)
        if not data:
            return
        buf += data
        while True:
            if state['chunk']:
                # A chunk is read whole whatever becomes of its transaction.
                take = buf[:state['chunk']]
                buf = buf[len(take):]
                state['chunk'] -= len(take)
                state['msg'] += take
                if state['chunk']:
                    break
                if state['from'] is None or not state['rcpt']:
                    state['step'] = 'dataend'
                    say('554 5.5.1 no valid recipients')
                elif not state['last']:
                    say('250 2.0.0 chunk taken')
                    continue
                elif act('dataend', '250 2.0.0 queued as %d' % (stored + 1)):
                    store()
                state['from'], state['rcpt'], state['msg'] = None, [], b''
                continue
            if state['data']:
                # The end is CR LF . CR LF, or a dot at once for an empty message.
                end = -3 if buf.startswith(b'.\r\n') else buf.find(b'\r\n.\r\n')
                if end == -1:
                    break
                state['msg'] = buf[:end + 2] if end >= 0 else b''
                buf = buf[end + 5:]
                state['data'] = False
                if act('dataend', '250 2.0.0 queued as %d' % (stored + 1)):
                    store()
                state['from'], state['rcpt'] = None, []
                continue
            nl = buf.find(b'\r\n')
            if nl < 0:
                break
            line, buf = buf[:nl].decode('utf-8', 'replace'), buf[nl + 2:]
            word = line.split(' ')[0].upper()
            if word in ('EHLO', 'HELO'):
                note(hello=word, name=line[5:], connection=number)
                caps = ['250-fault']
                if word == 'EHLO':
                    if config.get('pipelining', True):
                        caps.append('250-PIPELINING')
                    if config.get('chunking'):
                        caps.append('250-CHUNKING')
                    if config.get('smtputf8', True):
                        caps.append('250-SMTPUTF8')
                    if config.get('size') is not None:
                        caps.append(('250-SIZE ' + config['size']).rstrip())
                    if config.get('auth'):
                        caps.append('250-AUTH PLAIN')
                caps.append('250 8BITMIME')
                act(word.lower(), '\r\n'.join(caps))
            elif word == 'AUTH':
                act('auth', '235 2.7.0 Authentication successful')
            elif word == 'MAIL':
                note(mail=line, connection=number)
                addr = line[line.find('<') + 1:line.find('>')]
                if act('mail', '250 2.1.0 OK'):
                    state['from'] = addr
            elif word == 'RCPT':
                addr = line[line.find('<') + 1:line.find('>')]
                dead = config.get('dead')
                if dead and addr.startswith(dead):
                    state['step'] = 'rcpt'
                    say('550 5.1.1 <%s>: Recipient address rejected: User unknown' % addr)
                elif act('rcpt', '250 2.1.5 OK') and state['from'] is not None:
                    state['rcpt'].append(addr)
            elif word == 'DATA':
                if state['from'] is None or not state['rcpt']:
                    state['step'] = 'data'
                    say('554 5.5.1 no valid recipients')
                elif act('data', '354 go ahead'):
                    state['data'] = True
            elif word == 'BDAT' and config.get('chunking'):
                words = line.split()
                state['chunk'] = int(words[1])
                state['last'] = len(words) > 2 and words[2].upper() == 'LAST'
            elif word == 'RSET':
                state['from'], state['rcpt'], state['msg'], state['step'] = None, [], b'', 'rset'
                say('250 OK')
            elif word == 'QUIT':
                act('quit', '221 bye')
                return
            else:
                say('502 5.5.2 unknown command')


def session(conn, number):
    try:
        serve(conn, number)
    except Stall:
        # Hold the connection, answering nothing, until the client goes.
        try:
            while conn.recv(65536):
                pass
        except OSError:
            pass
    except (Drop, OSError):
        pass
    finally:
        conn.close()


srv = socket.socket()
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(('127.0.0.1', 0))
srv.listen(8)
print(srv.getsockname()[1], flush=True)
while True:
    conn, _ = srv.accept()
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    with lock:
        connections += 1
        number = connections
    note(connected=number)
    threading.Thread(target=session, args=(conn, number), daemon=True).start()
