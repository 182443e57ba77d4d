#!/usr/bin/env python3
"""The browser of the sign-in tests: opens a URL, fills the pages of the
test authorisation server (user code, login, consent) and follows every
redirect, the last one to the program's loopback port.

    oauthbrowser.py URL [--login ADDRESS] [--user-code CODE] [--abort]

It prints the last URL it reached and the page's text on stdout.
"""
import argparse
import http.cookiejar
import sys
import urllib.error
import urllib.parse
import urllib.request
from html.parser import HTMLParser


class Forms(HTMLParser):
    """The forms of a page (inputs with the form= attribute included) and its links."""

    def __init__(self):
        super().__init__()
        self.forms = []  # {'id', 'action', 'fields'}
        self.links = []
        self._current = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'form':
            self._current = {'id': a.get('id'), 'action': a.get('action', ''), 'fields': {}}
            self.forms.append(self._current)
        elif tag == 'input' and a.get('name'):
            form = self._find(a.get('form')) or self._current
            if form is not None:
                form['fields'][a['name']] = a.get('value', '')
        elif tag == 'a' and a.get('href'):
            self.links.append(a['href'])

    def handle_endtag(self, tag):
        if tag == 'form':
            self._current = None

    def _find(self, form_id):
        for f in self.forms:
            if form_id and f['id'] == form_id:
                return f
        return None


def main():
    p = argparse.ArgumentParser()
    p.add_argument('url')
    p.add_argument('--login', default='user@example.jp')
    p.add_argument('--user-code')
    p.add_argument('--abort', action='store_true')
    args = p.parse_args()

    opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
    url, data = args.url, None
    for _ in range(20):
        try:
            with opener.open(url, data=data, timeout=30) as r:
                url, page = r.geturl(), r.read().decode('utf-8', 'replace')
        except urllib.error.HTTPError as e:
            url, page = e.geturl(), e.read().decode('utf-8', 'replace')
        forms = Forms()
        forms.feed(page)
        if args.abort:
            aborts = [l for l in forms.links if '/abort' in l]
            if aborts:
                url, data = urllib.parse.urljoin(url, aborts[0]), None
                continue
        form = next((f for f in forms.forms if f['fields']), None)
        if form is None:
            break
        fields = dict(form['fields'])
        if 'user_code' in fields and args.user_code:
            fields['user_code'] = args.user_code
        if 'login' in fields:
            fields['login'] = args.login
            fields['password'] = 'any'
        url = urllib.parse.urljoin(url, form['action'])
        data = urllib.parse.urlencode(fields).encode()
    print(url)
    print(page)


if __name__ == '__main__':
    sys.exit(main())
