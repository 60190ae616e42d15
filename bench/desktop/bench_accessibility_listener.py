#!/usr/bin/python3
"""A stand-in for a screen reader on the accessibility bus: hears every object event and, as a screen
reader reads what changed, asks each event's source for its name and states."""
import pyatspi

heard = 0


def on_event(event):
    global heard
    heard += 1
    try:
        event.source.name
        event.source.getState()
    except Exception:
        pass


pyatspi.Registry.registerEventListener(on_event, "object:property-change", "object:state-changed",
                                       "object:children-changed", "object:value-changed", "focus:")
pyatspi.Registry.start()
