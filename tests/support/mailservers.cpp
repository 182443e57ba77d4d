#include "mailservers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kPython = "/usr/bin/python3";

// How long a server may take to come up. Only a server that never does
// waits this long; a busy machine making a key pair and loading Python
// needs its seconds.
constexpr int kStartMs = 60000;

// The SMTP server: aiosmtpd on a port of its own choosing; it prints the port,
// stores every message parsed into JSON files (seq.json) and counts
// connections; it ends when its standard input closes.
const char kSmtpScript[] = R"PY(
import asyncio, base64, json, os, ssl, subprocess, sys, threading
import email, email.policy
from aiosmtpd.smtp import SMTP, AuthResult

mode, outdir, user, password = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
pipelining = sys.argv[5] == 'pipelining'
smtputf8 = sys.argv[6] == 'smtputf8'
refuse = {}
refuse_once = {}
for refusal in sys.argv[7:]:
    addr, reply = refusal.split("=", 1)
    if addr.startswith('once:'):
        refuse_once[addr[5:].lower()] = reply
    else:
        refuse[addr.lower()] = reply

state = {'seq': 0, 'conns': 0}

def atomic_write(path, text):
    tmp = path + '.tmp'
    with open(tmp, 'w', encoding='utf-8') as f:
        f.write(text)
    os.replace(tmp, path)

class Handler:
    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if pipelining:
            # aiosmtpd reads commands one line at a time, so it copes with
            # pipelined clients; it just never says so.
            responses.insert(len(responses) - 1, '250-PIPELINING')
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        r = refuse.get(address.lower()) or refuse_once.pop(address.lower(), None)
        if r:
            return r
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content or envelope.content
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        body = msg.get_body(preferencelist=('plain',))
        atts = []
        for part in msg.iter_attachments():
            atts.append({'name': part.get_filename() or '', 'type': str(part['content-type'] or ''),
                         'b64': base64.b64encode(part.get_payload(decode=True) or b'').decode()})
        rec = {
            'mail_from': envelope.mail_from,
            'rcpt_tos': envelope.rcpt_tos,
            'from': str(msg['from'] or ''),
            'to': str(msg['to'] or ''),
            'subject': str(msg['subject'] or ''),
            'text': body.get_content() if body is not None else '',
            'attachments': atts,
            'headers': list(msg.keys()),
            'raw': base64.b64encode(raw).decode(),
        }
        state['seq'] += 1
        atomic_write(os.path.join(outdir, '%06d.json' % state['seq']), json.dumps(rec))
        return '250 OK'

class OAuthHandler(Handler):
    async def auth_XOAUTH2(self, server, args):
        return await oauth_login(server, args, 'XOAUTH2')

    async def auth_OAUTHBEARER(self, server, args):
        return await oauth_login(server, args, 'OAUTHBEARER')

class CountingSMTP(SMTP):
    def connection_made(self, transport):
        state['conns'] += 1
        atomic_write(os.path.join(outdir, 'connections'), str(state['conns']))
        super().connection_made(transport)

def record_auth(entry):
    with open(os.path.join(outdir, 'auth.jsonl'), 'a', encoding='utf-8') as f:
        f.write(json.dumps(entry) + '\n')

# OAuth 2.0 mode: user is the authorisation server's userinfo endpoint, the
# password field its options: the mechanism offered, and whether the first
# token is refused whatever it is.
oauth_options = password.split(',') if mode == 'oauth' else []

def token_owner(token):
    import urllib.request
    try:
        req = urllib.request.Request(user, headers={'Authorization': 'Bearer ' + token})
        with urllib.request.urlopen(req, timeout=20) as r:
            return json.load(r).get('email')
    except Exception:
        return None

async def oauth_login(server, args, mechanism):
    if len(args) == 1:
        blob = await server.challenge_auth('')
    else:
        blob = base64.b64decode(args[1])
    fields = {}
    parts = blob.split(b'\x01')
    for part in parts:
        if part.startswith(b'auth=Bearer '):
            fields['token'] = part[12:].decode()
        elif part.startswith(b'user='):
            fields['user'] = part[5:].decode()
        elif part.startswith(b'n,a='):
            fields['user'] = part[4:].split(b',')[0].decode().replace('=2C', ',').replace('=3D', '=')
    owner = token_owner(fields.get('token', ''))
    refuse = 'refuse-first' in oauth_options and not state.get('refused')
    ok = owner is not None and owner == fields.get('user') and not refuse
    record_auth({'mechanism': mechanism, 'user': fields.get('user'), 'ok': ok})
    if ok:
        return AuthResult(success=True, auth_data=fields.get('user'))
    state['refused'] = True
    # RFC 7628 3.2.2: the error in a challenge; the client's answer ends it.
    await server.challenge_auth(json.dumps({'status': '401', 'schemes': 'bearer'}))
    return AuthResult(success=False, handled=False)

def authenticator(server, session, envelope, mechanism, auth_data):
    ok = (auth_data.login.decode() == user and auth_data.password.decode() == password)
    return AuthResult(success=ok, handled=False)

kwargs = {'enable_SMTPUTF8': smtputf8, 'decode_data': False}
if mode == 'oauth':
    offered = 'OAUTHBEARER' if 'oauthbearer' in oauth_options else 'XOAUTH2'
    hidden = [m for m in ('LOGIN', 'PLAIN', 'XOAUTH2', 'OAUTHBEARER') if m != offered]
    kwargs.update(auth_required=True, auth_require_tls=False, auth_exclude_mechanism=hidden)
elif user:
    kwargs.update(authenticator=authenticator, auth_required=True, auth_require_tls=(mode == 'starttls'))
ctx = None
if mode in ('starttls', 'implicit'):
    cert = os.path.join(outdir, 'cert.pem')
    key = os.path.join(outdir, 'key.pem')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '2',
                    '-subj', '/CN=localhost', '-addext', 'subjectAltName=' + os.environ['TEST_CERT_NAMES'],
                    '-keyout', key, '-out', cert], check=True, capture_output=True)
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(cert, key)
if mode == 'starttls':
    kwargs.update(tls_context=ctx, require_starttls=True)

loop = asyncio.new_event_loop()
asyncio.set_event_loop(loop)
handler = OAuthHandler() if mode == 'oauth' else Handler()
srv = loop.run_until_complete(loop.create_server(
    lambda: CountingSMTP(handler, hostname='localhost', loop=loop, **kwargs), host='127.0.0.1', port=0,
    ssl=ctx if mode == 'implicit' else None))
print(srv.sockets[0].getsockname()[1], flush=True)

def watch_stdin():
    sys.stdin.read()
    os._exit(0)
threading.Thread(target=watch_stdin, daemon=True).start()
loop.run_forever()
)PY";

sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Connects and reads the first bytes the server says.
QByteArray greeting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    QByteArray out;
    sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) > 0) {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                out = QByteArray(buf, n);
        }
    }
    ::close(fd);
    return out;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// An empty prefix waits for the port to take connections (TLS servers say
// nothing before the client does).
bool waitForGreeting(int port, const QByteArray &prefix, int ms)
{
    if (prefix.isEmpty()) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (accepts(port))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (greeting(port).startsWith(prefix))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void stopProcess(std::unique_ptr<QProcess> &p)
{
    if (!p)
        return;
    p->closeWriteChannel();
    p->terminate();
    if (!p->waitForFinished(3000)) {
        p->kill();
        p->waitForFinished(3000);
    }
    p.reset();
}

} // namespace

int unusedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

SmtpTestServer::SmtpTestServer() = default;
SmtpTestServer::~SmtpTestServer()
{
    stop();
}

void SmtpTestServer::refuseRecipient(const QString &address, const QString &reply)
{
    m_refusals << address + QLatin1Char('=') + reply;
}

void SmtpTestServer::refuseRecipientOnce(const QString &address, const QString &reply)
{
    m_refusals << QStringLiteral("once:") + address + QLatin1Char('=') + reply;
}

int SmtpTestServer::messageCount() const
{
    return int(
        QDir(m_dir.filePath(QStringLiteral("received"))).entryList({QStringLiteral("*.json")}, QDir::Files).size());
}

bool SmtpTestServer::start(Mode mode, const QString &user, const QString &password)
{
    stop();
    const QString script = m_dir.filePath(QStringLiteral("smtpserver.py"));
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly) || f.write(kSmtpScript) < 0) {
        m_error = QStringLiteral("cannot write the server script");
        return false;
    }
    f.close();
    const QString out = m_dir.filePath(QStringLiteral("received"));
    QDir().mkpath(out);
    const QString modeName = mode == Mode::Auth          ? QStringLiteral("auth")
                             : mode == Mode::OAuth       ? QStringLiteral("oauth")
                             : mode == Mode::StartTls    ? QStringLiteral("starttls")
                             : mode == Mode::ImplicitTls ? QStringLiteral("implicit")
                                                         : QStringLiteral("plain");
    m_proc = std::make_unique<QProcess>();
    m_proc->setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TEST_CERT_NAMES"), m_certificateNames.join(QLatin1Char(',')));
    m_proc->setProcessEnvironment(env);
    m_proc->start(QString::fromLatin1(kPython),
                  QStringList{script, modeName, out, user, password,
                              m_pipelining ? QStringLiteral("pipelining") : QStringLiteral("plain"),
                              m_smtpUtf8 ? QStringLiteral("smtputf8") : QStringLiteral("ascii")}
                      + m_refusals);
    if (!m_proc->waitForStarted(5000) || !m_proc->waitForReadyRead(kStartMs)) {
        m_error = QStringLiteral("SMTP server did not start: ") + QString::fromUtf8(m_proc->readAllStandardError());
        stopProcess(m_proc);
        return false;
    }
    m_port = m_proc->readLine().trimmed().toInt();
    if (m_port <= 0) {
        m_error = QStringLiteral("SMTP server gave no port: ") + QString::fromUtf8(m_proc->readAllStandardError());
        stopProcess(m_proc);
        return false;
    }
    m_caFile = mode == Mode::StartTls || mode == Mode::ImplicitTls ? out + QStringLiteral("/cert.pem") : QString();
    return true;
}

void SmtpTestServer::stop()
{
    stopProcess(m_proc);
    m_port = 0;
}

bool SmtpTestServer::isRunning() const
{
    return m_proc && m_proc->state() == QProcess::Running;
}

QList<ReceivedMail> SmtpTestServer::messages() const
{
    QList<ReceivedMail> list;
    QDir dir(m_dir.filePath(QStringLiteral("received")));
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        ReceivedMail m;
        m.envelopeFrom = o.value(QStringLiteral("mail_from")).toString();
        for (const auto &v : o.value(QStringLiteral("rcpt_tos")).toArray())
            m.envelopeTo << v.toString();
        m.from = o.value(QStringLiteral("from")).toString();
        m.to = o.value(QStringLiteral("to")).toString();
        m.subject = o.value(QStringLiteral("subject")).toString();
        m.text = o.value(QStringLiteral("text")).toString();
        for (const auto &v : o.value(QStringLiteral("attachments")).toArray()) {
            const QJsonObject a = v.toObject();
            m.attachments.append({a.value(QStringLiteral("name")).toString(),
                                  QByteArray::fromBase64(a.value(QStringLiteral("b64")).toString().toLatin1()),
                                  a.value(QStringLiteral("type")).toString()});
        }
        for (const auto &v : o.value(QStringLiteral("headers")).toArray())
            m.headerNames << v.toString();
        m.raw = QByteArray::fromBase64(o.value(QStringLiteral("raw")).toString().toLatin1());
        list.append(m);
    }
    return list;
}

QList<QJsonObject> SmtpTestServer::authAttempts() const
{
    QList<QJsonObject> out;
    QFile f(m_dir.filePath(QStringLiteral("received/auth.jsonl")));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
    return out;
}

int SmtpTestServer::connectionCount() const
{
    QFile f(m_dir.filePath(QStringLiteral("received/connections")));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().trimmed().toInt();
}

Pop3TestServer::Pop3TestServer() = default;
Pop3TestServer::~Pop3TestServer()
{
    stop();
}

bool makeTestCertificate(const QString &folder)
{
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
             QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
             QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
             QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1"), QStringLiteral("-keyout"),
             folder + QStringLiteral("/key.pem"), QStringLiteral("-out"), folder + QStringLiteral("/cert.pem")});
    return p.waitForFinished(kStartMs) && p.exitCode() == 0;
}

bool Pop3TestServer::deliver(const QString &user, const QString &name, const QByteArray &message)
{
    const QString box = m_dir.path() + QStringLiteral("/mail/") + user;
    for (const char *sub : {"", "/new", "/cur", "/tmp"}) {
        const QString p = box + QLatin1String(sub);
        QDir().mkpath(p);
        ::chmod(QFile::encodeName(p).constData(), 0777);
    }
    QFile f(box + QStringLiteral("/new/") + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(message) != message.size())
        return false;
    f.close();
    return ::chmod(QFile::encodeName(f.fileName()).constData(), 0666) == 0;
}

QStringList Pop3TestServer::mailbox(const QString &user) const
{
    QStringList names;
    const QString box = m_dir.path() + QStringLiteral("/mail/") + user;
    for (const char *sub : {"/new", "/cur"})
        for (const QString &n : QDir(box + QLatin1String(sub)).entryList(QDir::Files))
            names << n.section(QLatin1Char(':'), 0, 0);
    names.sort();
    return names;
}

bool Pop3TestServer::start(const QString &user, const QString &password, Tls tls)
{
    stop();
    const QString root = m_dir.path();
    // The login processes run as nobody and must reach the folder.
    ::chmod(QFile::encodeName(root).constData(), 0755);
    for (const char *sub : {"run", "state", "home", "mail"}) {
        const QString p = root + QLatin1Char('/') + QLatin1String(sub);
        QDir().mkpath(p);
        ::chmod(QFile::encodeName(p).constData(), 0777);
    }
    m_port = unusedLoopbackPort();
    const QString passwd = root + QStringLiteral("/passwd");
    {
        QFile f(passwd);
        if (!f.open(QIODevice::WriteOnly)) {
            m_error = QStringLiteral("cannot write passwd file");
            return false;
        }
        f.write((user + QStringLiteral(":{PLAIN}") + password + QStringLiteral(":65534:65534::") + root
                 + QStringLiteral("/home\n"))
                    .toUtf8());
    }
    const QString conf = root + QStringLiteral("/dovecot.conf");
    {
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly)) {
            m_error = QStringLiteral("cannot write dovecot.conf");
            return false;
        }
        QString c;
        c += QStringLiteral("base_dir = %1/run\n").arg(root);
        c += QStringLiteral("state_dir = %1/state\n").arg(root);
        c += QStringLiteral("log_path = %1/dovecot.log\n").arg(root);
        c += QStringLiteral("protocols = pop3\nlisten = 127.0.0.1\n");
        if (tls == Tls::None) {
            c += QStringLiteral("ssl = no\n");
        } else {
            if (!makeTestCertificate(root)) {
                m_error = QStringLiteral("openssl could not make a certificate");
                return false;
            }
            m_caFile = root + QStringLiteral("/cert.pem");
            c += QStringLiteral("ssl = yes\nssl_cert = <%1/cert.pem\nssl_key = <%1/key.pem\n").arg(root);
        }
        c += QStringLiteral("disable_plaintext_auth = no\nauth_failure_delay = 0\n");
        c += QStringLiteral("default_login_user = nobody\ndefault_internal_user = nobody\n");
        c += QStringLiteral("mail_location = maildir:%1/mail/%u\n").arg(root);
        if (m_userinfoUrl.isEmpty()) {
            c += QStringLiteral("auth_mechanisms = plain login\n");
            c += QStringLiteral("passdb {\n  driver = passwd-file\n  args = %1\n}\n").arg(passwd);
            c += QStringLiteral("userdb {\n  driver = passwd-file\n  args = %1\n}\n").arg(passwd);
        } else {
            // The token is sent to the userinfo endpoint as a bearer token;
            // its "email" is the user it belongs to.
            const QString oauth = root + QStringLiteral("/oauth2.conf");
            QFile o(oauth);
            if (!o.open(QIODevice::WriteOnly)) {
                m_error = QStringLiteral("cannot write oauth2.conf");
                return false;
            }
            o.write(QStringLiteral("introspection_mode = auth\nintrospection_url = %1\nforce_introspection = yes\n"
                                   "username_attribute = email\n")
                        .arg(m_userinfoUrl)
                        .toUtf8());
            c += QStringLiteral("auth_mechanisms = xoauth2 oauthbearer\n");
            c += QStringLiteral("passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = %1\n}\n")
                     .arg(oauth);
            c += QStringLiteral("userdb {\n  driver = static\n  args = uid=65534 gid=65534 home=%1/home/%u\n}\n")
                     .arg(root);
        }
        const bool implicit = tls == Tls::Implicit;
        c += QStringLiteral("service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    port = %1\n  }\n"
                            "  inet_listener pop3s {\n    port = %2\n  }\n}\n")
                 .arg(implicit ? 0 : m_port)
                 .arg(implicit ? m_port : 0);
        c += QStringLiteral("service anvil {\n  chroot =\n}\n");
        f.write(c.toUtf8());
    }
    m_proc = std::make_unique<QProcess>();
    m_proc->start(QStringLiteral("/usr/sbin/dovecot"), {QStringLiteral("-F"), QStringLiteral("-c"), conf});
    // Over TLS the greeting can't be read in clear; any first bytes will do.
    if (!m_proc->waitForStarted(5000) || !waitForGreeting(m_port, tls == Tls::Implicit ? "" : "+OK", kStartMs)) {
        QFile log(root + QStringLiteral("/dovecot.log"));
        log.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("dovecot did not start: ") + QString::fromUtf8(m_proc->readAllStandardError())
                  + QString::fromUtf8(log.readAll());
        stopProcess(m_proc);
        return false;
    }
    return true;
}

void Pop3TestServer::stop()
{
    stopProcess(m_proc);
}

ScriptedServer::~ScriptedServer()
{
    stopProcess(m_proc);
}

bool ScriptedServer::start(const QString &mode, double trickleSeconds, const QString &bindAddress)
{
    m_proc = std::make_unique<QProcess>();
    m_proc->start(QString::fromLatin1(kPython),
                  {QStringLiteral(QUILLPOST_SOURCE_DIR "/tests/support/scriptedserver.py"), mode,
                   m_dir.filePath(QStringLiteral("events")), QString::number(trickleSeconds), bindAddress});
    if (!m_proc->waitForStarted(5000) || !m_proc->waitForReadyRead(kStartMs)) {
        m_error = QStringLiteral("scripted server did not start: ") + QString::fromUtf8(m_proc->readAllStandardError());
        return false;
    }
    m_port = m_proc->readLine().trimmed().toInt();
    return m_port > 0;
}

QList<QJsonObject> ScriptedServer::events() const
{
    QList<QJsonObject> out;
    QFile f(m_dir.filePath(QStringLiteral("events")));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
    return out;
}

QStringList ScriptedServer::credentials() const
{
    QStringList out;
    for (const QJsonObject &e : events())
        if (e.contains(QStringLiteral("auth")))
            out << e.value(QStringLiteral("auth")).toString();
    return out;
}

qint64 ScriptedServer::bytesSent() const
{
    qint64 n = 0;
    for (const QJsonObject &e : events())
        n += e.value(QStringLiteral("sent")).toInteger();
    return n;
}

QList<bool> ScriptedServer::pipelined() const
{
    QList<bool> out;
    for (const QJsonObject &e : events())
        if (e.contains(QStringLiteral("message")))
            out << e.value(QStringLiteral("pipelined")).toBool();
    return out;
}

PopCutProxy::~PopCutProxy()
{
    stopProcess(m_proc);
}

bool PopCutProxy::start(int targetPort, const QString &mode, int nth)
{
    m_proc = std::make_unique<QProcess>();
    m_proc->start(QString::fromLatin1(kPython),
                  {QStringLiteral(QUILLPOST_SOURCE_DIR "/tests/support/popcut.py"), QString::number(targetPort), mode,
                   QString::number(nth), m_dir.filePath(QStringLiteral("events"))});
    if (!m_proc->waitForStarted(5000) || !m_proc->waitForReadyRead(kStartMs)) {
        m_error = QStringLiteral("proxy did not start: ") + QString::fromUtf8(m_proc->readAllStandardError());
        return false;
    }
    m_port = m_proc->readLine().trimmed().toInt();
    return m_port > 0;
}

bool PopCutProxy::hasActed() const
{
    return QFileInfo::exists(m_dir.filePath(QStringLiteral("events")));
}
