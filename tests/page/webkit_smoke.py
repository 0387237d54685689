#!/usr/bin/python3
"""The page in WebKitGTK, the engine the karaoke plug-in embeds on Linux.

Loads ui/index.html from a file:// URL (as the plug-in does, ES modules
included) with the bridge double injected before the page's scripts, adds two
singers, queues a song through the picker, presses pad 1 and checks the deck
command and audience.json; then chooses a logo in the Look tab, presses a
sound pad and checks the sound inbox; then loads ui/audience.html and checks it
draws audience.json with its QR code. Exits 77 (skipped) without a display or without the
WebKitGTK introspection data, unless QK_REQUIRE_PAGE_TESTS=1 (scripts/test.sh, which has
installed both), where either is a broken set-up and fails.
"""
import base64
import json
import os
import struct
import sys
import zlib


def unavailable(why):
    if os.environ.get('QK_REQUIRE_PAGE_TESTS') == '1':
        print(f'page WebKitGTK check FAILED: {why} (the set-up should have provided it)')
        sys.exit(1)
    print(f'page WebKitGTK check skipped: {why}')
    sys.exit(77)


try:
    import gi
    gi.require_version('Gtk', '3.0')
    gi.require_version('WebKit2', '4.1')
    from gi.repository import GLib, Gtk, WebKit2
except (ImportError, ValueError) as err:
    unavailable(err)

HERE = os.path.dirname(os.path.abspath(__file__))
UI = os.path.normpath(os.path.join(HERE, '..', '..', 'ui'))
DATA = '/home/kj/VirtualDJ/QuorvaleKaraoke'
SONG = "/music/Queen - Don't Stop Me Now.mp3"
LOGO_PATH = '/pics/logo.png'


def tiny_png():
    """A 2 x 2 red PNG."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    rows = b''.join(b'\x00' + b'\xff\x00\x00\xff' * 2 for _ in range(2))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 2, 2, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
PAD = {'id': 'p1', 'name': 'Horn', 'path': '/sfx/horn.wav', 'vol': 1.5, 'key': 'k'}
SEED = {
    DATA + '/settings.json': json.dumps({'soundPads': [PAD]}),
    # Read by the audience page only: the manager page writes its own at start-up.
    DATA + '/audience-sample.json': json.dumps({'current': {'singer': 'Zoe', 'title': 'Hello'},
                                                 'qr': {'url': 'https://example.com/r', 'label': 'Requests'}}),
}


def main():
    if not os.environ.get('DISPLAY') or not Gtk.init_check(sys.argv)[0]:
        unavailable('no display')
    with open(os.path.join(HERE, 'bridge-double.js'), encoding='utf-8') as f:
        double = f.read() + '\n;window.__qkDoubleSetup(%s);' % json.dumps(
            {'pickFile': [SONG, LOGO_PATH], 'files': {LOGO_PATH: tiny_png().decode('latin-1'), **SEED}})
    window = Gtk.OffscreenWindow()
    view = WebKit2.WebView()
    window.add(view)
    window.set_default_size(1280, 800)
    window.show_all()
    view.get_user_content_manager().add_script(WebKit2.UserScript(
        double, WebKit2.UserContentInjectedFrames.TOP_FRAME, WebKit2.UserScriptInjectionTime.START, None, None))
    context = GLib.MainContext.default()

    def evaluate(script):
        out = {}

        def done(source, result, _data):
            try:
                value = source.evaluate_javascript_finish(result)
                out['json'] = value.to_json(0) if value else 'null'
            except GLib.Error as err:
                out['json'] = json.dumps('script failed: ' + err.message)
        view.evaluate_javascript(script, -1, None, None, None, done, None)
        while 'json' not in out:
            context.iteration(True)
        return json.loads(out['json'])

    def until(script, seconds=10):
        end = GLib.get_monotonic_time() + seconds * 1_000_000
        while GLib.get_monotonic_time() < end:
            if evaluate(script) is True:
                return True
            while context.iteration(False):
                pass
            GLib.usleep(20_000)
        return False

    view.load_uri('file://' + UI + '/index.html')
    failures = []
    if not until('!!window.__qkDouble && window.__qkDouble.state.audience.length > 0'):
        failures.append('the page never wrote audience.json')
    else:
        evaluate("""(async () => {
          const $ = (s) => document.querySelector(s);
          for (const name of ['Ann', 'Bob']) { $('#new-singer').value = name; $('#add-singer').click(); }
          document.querySelector('#rotation li').click();
          $('#pick-song').click();
        })(); true""")
        if not until('document.querySelectorAll("#singer-songs .t").length === 1'):
            failures.append('the picked song was not queued')
        evaluate("window.qkPadCommand('playnext'); true")
        until('JSON.parse(window.__qkDouble.file(%s) || "{}").isPlaying === true' % json.dumps(DATA + '/audience.json'))
        sends = evaluate('window.__qkDouble.state.sends')
        audience = json.loads(evaluate('window.__qkDouble.file(%s)' % json.dumps(DATA + '/audience.json')) or '{}')
        errors = evaluate('Array.from(document.querySelectorAll(".error .text")).map((e) => e.textContent)')
        if sends != [f'deck 1 load "{SONG}" & deck 1 play']:
            failures.append(f'deck commands: {sends}')
        if audience.get('current') != {'singer': 'Ann', 'title': "Don't Stop Me Now", 'isNew': True}:
            failures.append(f'audience.json current: {audience.get("current")}')
        if [r['singer'] for r in audience.get('rotation', [])] != ['Bob', 'Ann']:
            failures.append(f'audience.json rotation: {audience.get("rotation")}')
        # The Look tab: a logo chosen through the picker is read as bytes and
        # written as a data URL before its version is published.
        evaluate("document.querySelector('#tab-look').click(); document.querySelector('#look-logo .look-choose').click(); true")
        if not until('((JSON.parse(window.__qkDouble.file(%s) || "{}").appearance) || {}).assetsVer === 1'
                     % json.dumps(DATA + '/audience.json')):
            failures.append('the logo version was never published')
        assets = json.loads(evaluate('window.__qkDouble.file(%s)' % json.dumps(DATA + '/audience-assets.json')) or '{}')
        if assets.get('logo') != 'data:image/png;base64,' + base64.b64encode(tiny_png()).decode('ascii'):
            failures.append(f'audience-assets.json logo: {str(assets.get("logo"))[:80]}')
        errors = evaluate('Array.from(document.querySelectorAll(".error .text")).map((e) => e.textContent)')
        evaluate("document.querySelector('.pad[data-id=\"p1\"] .pad-hit').click(); true")
        inbox = DATA + '/sound-inbox.jsonl'
        if not until('(window.__qkDouble.file(%s) || "").includes("play")' % json.dumps(inbox)):
            failures.append('the pad press reached no sound inbox')
        elif json.loads(evaluate('window.__qkDouble.file(%s)' % json.dumps(inbox))) != {'op': 'play', 'id': 'p1', 'path': '/sfx/horn.wav', 'vol': 1.5}:
            failures.append('sound inbox: ' + evaluate('window.__qkDouble.file(%s)' % json.dumps(inbox)))
        if errors:
            failures.append(f'errors shown: {errors}')
        view.load_uri('file://' + UI + '/audience.html')
        until('location.pathname.endsWith("audience.html") && !!window.QK && !!window.QK.audiencePage')
        evaluate("window.__qkDouble.put(%s, window.__qkDouble.file(%s)); true"
                 % (json.dumps(DATA + '/audience.json'), json.dumps(DATA + '/audience-sample.json')))
        if not until('document.getElementById("aud-now-singer").textContent === "Zoe"'
                     ' && !document.getElementById("aud-qr").hidden'
                     ' && document.getElementById("aud-qr-code").width > 0'):
            failures.append('the audience page did not draw audience.json')
    for failure in failures:
        print('FAIL:', failure)
    print('page WebKitGTK check:', 'failed' if failures else 'passed')
    return 1 if failures else 0


sys.exit(main())
