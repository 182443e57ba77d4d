// An OAuth 2.0 authorisation server on loopback for the tests: oidc-provider
// with its development sign-in pages (any login, any password), PKCE, the
// device grant, refresh tokens that change on every use, revocation and
// userinfo. It prints its port and serves until its standard input closes.
//
//   node oauthserver.mjs
//
// Clients: "quillpost" (public, as a desktop program registers) and
// "quillpost-secret" (with the client secret "desktop-secret").
import http from 'node:http';
import Provider from 'oidc-provider';

const server = http.createServer();
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const { port } = server.address();

const nativeClient = {
  application_type: 'native',
  grant_types: ['authorization_code', 'refresh_token', 'urn:ietf:params:oauth:grant-type:device_code'],
  response_types: ['code'],
  // Any port on 127.0.0.1, as RFC 8252 asks of native clients.
  redirect_uris: ['http://127.0.0.1/'],
};

const provider = new Provider(`http://127.0.0.1:${port}`, {
  clients: [
    { ...nativeClient, client_id: 'quillpost', token_endpoint_auth_method: 'none' },
    {
      ...nativeClient,
      client_id: 'quillpost-secret',
      client_secret: 'desktop-secret',
      token_endpoint_auth_method: 'client_secret_post',
    },
  ],
  // The login names the account; its address is the login itself.
  async findAccount(ctx, id) {
    return { accountId: id, async claims() { return { sub: id, email: id }; } };
  },
  claims: { openid: ['sub'], email: ['email'] },
  // The address in the ID token too, as the big providers put it there.
  conformIdTokenClaims: false,
  scopes: ['openid', 'email', 'offline_access'],
  features: {
    devInteractions: { enabled: true },
    deviceFlow: { enabled: true },
    revocation: { enabled: true },
    userinfo: { enabled: true },
  },
  pkce: { required: () => true },
  cookies: { keys: ['quillpost-test-cookie-key'] },
  // Every refresh gives a new refresh token and spends the old one: a
  // spent one used again revokes the whole grant.
  rotateRefreshToken: true,
});
provider.on('server_error', (ctx, err) => console.error('server_error', err));
server.on('request', provider.callback());
console.log(port);

process.stdin.resume();
process.stdin.on('end', () => process.exit(0));
