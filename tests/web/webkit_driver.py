#!/usr/bin/python3
# Drives WebKitGTK (the engine of Safari) for the browser tests: a WebView in a window (run it under
# Xvfb), commanded by one JSON object a line on standard input and answering one a line on standard
# output, so a Node test drives it as it drives the other engines through puppeteer:
#
#   {"id": N, "open": URL}               load URL; answers when the page has loaded
#   {"id": N, "call": BODY}              run BODY as the body of an async function in the page and
#                                        answer with its result (as JSON)
#   {"id": N, "hide": true}              hide the window (the page is hidden), and show it again
#   {"id": N, "show": true}
#   {"id": N, "quit": true}              close
#
# Each answer is {"id": N, "value": ...} or {"id": N, "error": "..."}. Media may play without a
# user's gesture, as the other engines are started.
import json
import sys

import gi

gi.require_version('Gtk', '3.0')
gi.require_version('WebKit2', '4.1')
from gi.repository import GLib, Gtk, WebKit2  # noqa: E402


def answer(ident, **fields):
    sys.stdout.write(json.dumps(dict(id=ident, **fields)) + '\n')
    sys.stdout.flush()


class Driver:
    def __init__(self):
        settings = WebKit2.Settings()
        settings.set_media_playback_requires_user_gesture(False)
        settings.set_enable_write_console_messages_to_stdout(False)
        self.view = WebKit2.WebView.new_with_settings(settings)
        self.window = Gtk.Window()
        self.window.set_default_size(390, 844)
        self.window.add(self.view)
        self.window.show_all()
        self.loading = None
        self.view.connect('load-changed', self.on_load)
        self.view.connect('load-failed', self.on_failed)
        GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                          GLib.IO_IN | GLib.IO_HUP, self.on_input)

    def on_load(self, view, event):
        if event == WebKit2.LoadEvent.FINISHED and self.loading is not None:
            ident, self.loading = self.loading, None
            answer(ident, value=True)

    def on_failed(self, view, event, uri, error):
        if self.loading is not None:
            ident, self.loading = self.loading, None
            answer(ident, error='load failed: ' + error.message)
        return True

    def on_input(self, channel, condition):
        line = sys.stdin.readline()
        if not line:
            Gtk.main_quit()
            return False
        try:
            command = json.loads(line)
        except ValueError:
            answer(None, error='not JSON: ' + line.strip())
            return True
        ident = command.get('id')
        if 'open' in command:
            self.loading = ident
            self.view.load_uri(command['open'])
        elif 'call' in command:
            body = command['call']
            self.view.call_async_javascript_function(
                body, -1, None, None, None, None,
                lambda view, result: self.on_result(ident, view, result))
        elif command.get('hide'):
            self.window.hide()
            answer(ident, value=True)
        elif command.get('show'):
            self.window.show_all()
            answer(ident, value=True)
        elif command.get('quit'):
            answer(ident, value=True)
            Gtk.main_quit()
            return False
        else:
            answer(ident, error='unknown command')
        return True

    def on_result(self, ident, view, result):
        try:
            value = view.call_async_javascript_function_finish(result)
            text = value.to_json(0) if value is not None and not value.is_undefined() else 'null'
            answer(ident, value=json.loads(text or 'null'))
        except GLib.Error as error:
            answer(ident, error=error.message)


if __name__ == '__main__':
    Driver()
    Gtk.main()
