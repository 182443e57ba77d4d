// node nodemailer_send.js HOST PORT COUNT [nodelay]: the same messages as
// the program's send command through Nodemailer's pooled transport on one
// connection, all queued at once so the pool never waits for the script.
//
// Stock Nodemailer leaves Nagle's algorithm on; it then writes the message
// and the final ".\r\n" separately and waits for the server's delayed ACK
// (about 40 ms a message on loopback). With "nodelay" its sockets get
// TCP_NODELAY, the stronger baseline that the comparison uses.
'use strict';
const net = require('net');
const nodemailer = require('nodemailer');

const [host, port, countText, mode] = process.argv.slice(2);
const count = parseInt(countText, 10);
// "pool5": Nodemailer's default pool (5 connections, 100 messages each),
// with TCP_NODELAY as well.
if (mode === 'nodelay' || mode === 'pool5') {
  const connect = net.Socket.prototype.connect;
  net.Socket.prototype.connect = function (...args) {
    this.setNoDelay(true);
    return connect.apply(this, args);
  };
}

const para = '平素は格別のご高配を賜り、厚く御礼申し上げます。このたび弊社では春の新商品を発売いたしました。' +
  '詳細につきましては同封の資料をご覧ください。ご不明な点がございましたらお気軽にお問い合わせください。\r\n';
let body = '';
while (Buffer.byteLength(body) < 1000) body += para;
body += '今後ともよろしくお願い申し上げます。\r\n山田商店　営業部';

const transport = nodemailer.createTransport({
  host, port: parseInt(port, 10), secure: false, ignoreTLS: true,
  pool: true,
  maxConnections: mode === 'pool5' ? 5 : 1,
  maxMessages: mode === 'pool5' ? 100 : Infinity,
});

async function main() {
  const start = process.hrtime.bigint();
  let sent = 0;
  const jobs = [];
  for (let i = 0; i < count; i++) {
    const text = `株式会社サンプル${i}\r\n営業部　山本太郎　様\r\n` + body + '\r\n';
    jobs.push(transport.sendMail({
      from: '"山田商店" <shop@example.jp>',
      to: `customer${i}@example.jp`,
      subject: '【ご案内】春の新商品と営業日のお知らせ',
      text,
      textEncoding: 'base64',
    }).then(() => { sent++; }));
  }
  await Promise.all(jobs);
  const secs = Number(process.hrtime.bigint() - start) / 1e9;
  transport.close();
  console.log(`sent=${sent} seconds=${secs.toFixed(3)} rate=${(sent / secs).toFixed(1)}`);
}
main().catch((e) => { console.error(e); process.exit(1); });
