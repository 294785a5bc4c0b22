"""Watching a window over the X protocol itself (python3-xlib): every change
of its caption as it happens, and how fast it answers the window manager's
_NET_WM_PING. Each watcher has its own connection to the X server."""

import select
import sys
import threading
import time

try:
    from Xlib import X, display, error
    from Xlib.protocol import event
except ImportError:  # a Python of its own beside Debian's python3-xlib
    sys.path.append("/usr/lib/python3/dist-packages")
    from Xlib import X, display, error
    from Xlib.protocol import event


def _caption(d, window, net_wm_name, utf8):
    """The window's caption, or None when it has gone."""
    try:
        prop = window.get_full_property(net_wm_name, utf8)
        if prop is not None and prop.value is not None:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
        name = window.get_wm_name()
        return None if name is None else (name.decode("latin-1") if isinstance(name, bytes) else str(name))
    except error.XError:
        return None


class CaptionRecorder:
    """Records every caption a window shows from now on, with the time it
    came (the caption it had when recording began comes first). Changes are
    told by PropertyNotify, so none is missed however briefly it stood and
    however busy the machine is."""

    def __init__(self, display_name, wid):
        self._d = display.Display(display_name)
        self._window = self._d.create_resource_object("window", wid)
        self._net_wm_name = self._d.intern_atom("_NET_WM_NAME")
        self._wm_name = self._d.intern_atom("WM_NAME")
        self._utf8 = self._d.intern_atom("UTF8_STRING")
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self.captions = []  # (monotonic time, caption)
        self._stop = threading.Event()
        # Listen first, then read: a change in between is heard.
        self._window.change_attributes(event_mask=X.PropertyChangeMask | X.StructureNotifyMask)
        self._d.sync()
        self._note(_caption(self._d, self._window, self._net_wm_name, self._utf8))
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _note(self, caption):
        if caption is None:
            return
        with self._lock:
            if not self.captions or self.captions[-1][1] != caption:
                self.captions.append((time.monotonic(), caption))
                self._changed.notify_all()

    def _run(self):
        try:
            while not self._stop.is_set():
                select.select([self._d], [], [], 0.2)
                changed = False
                while self._d.pending_events():
                    e = self._d.next_event()
                    if e.type == X.PropertyNotify and e.atom in (self._net_wm_name, self._wm_name):
                        changed = True
                    elif e.type == X.DestroyNotify:
                        return
                if changed:
                    self._note(_caption(self._d, self._window, self._net_wm_name, self._utf8))
        except (error.XError, error.ConnectionClosedError, OSError):
            return

    def seen(self):
        with self._lock:
            return [c for _, c in self.captions]

    def current(self):
        with self._lock:
            return self.captions[-1][1] if self.captions else None

    def wait(self, caption, timeout, since=0):
        """Waits until `caption` has been shown at or after index `since` of
        the record; returns its index, or None at the deadline."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                for i in range(since, len(self.captions)):
                    if self.captions[i][1] == caption:
                        return i
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self._changed.wait(min(left, 0.5))

    def close(self):
        self._stop.set()
        self._thread.join(5)
        try:
            self._d.close()
        except Exception:
            pass


def followed(recorded, expected):
    """True when the recorded captions are a tail of the expected sequence
    in order (recording may have begun part-way through it), each caption
    possibly missing where two changes came faster than a repaint, but none
    out of order and none foreign."""
    position = 0
    for caption in recorded:
        try:
            position = expected.index(caption, position)
        except ValueError:
            return False
    return True


def ping_latencies(display_name, wid, seconds, per_second=5, answer_timeout=10.0):
    """Sends _NET_WM_PING to the window as a window manager does, several
    times a second for `seconds`, each after the last was answered (or
    given up on); returns the reply latencies in seconds (answer_timeout for
    one never answered)."""
    d = display.Display(display_name)
    try:
        root = d.screen().root
        window = d.create_resource_object("window", wid)
        protocols = d.intern_atom("WM_PROTOCOLS")
        ping = d.intern_atom("_NET_WM_PING")
        # A client answers by sending the message back to the root window,
        # to those who listen there for structure changes (Qt's mask) or for
        # its children's (what the standard asks for).
        root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        d.sync()
        advertised = window.get_full_property(protocols, X.AnyPropertyType)
        if advertised is None or ping not in list(advertised.value):
            raise RuntimeError("the window does not take _NET_WM_PING")
        latencies = []
        end = time.monotonic() + seconds
        serial = 1000
        while time.monotonic() < end:
            serial += 1
            message = event.ClientMessage(window=window, client_type=protocols,
                                          data=(32, [ping, serial, wid, 0, 0]))
            sent = time.monotonic()
            window.send_event(message, event_mask=0, propagate=False)
            d.flush()
            answered = None
            while answered is None:
                left = sent + answer_timeout - time.monotonic()
                if left <= 0:
                    break
                if not d.pending_events():
                    select.select([d], [], [], left)
                while d.pending_events():
                    e = d.next_event()
                    if (e.type == X.ClientMessage and e.client_type == protocols
                            and e.data[1][0] == ping and e.data[1][1] == serial):
                        answered = time.monotonic()
            latencies.append((answered - sent) if answered is not None else answer_timeout)
            time.sleep(max(0.0, 1.0 / per_second - (time.monotonic() - sent)))
        return latencies
    finally:
        d.close()
