#!/usr/bin/python3
"""A stand-in for a screen reader: registers on the accessibility (AT-SPI) bus for the events a
screen reader follows, counts them, prints "ready" once registered and the count when ended."""
import signal
import sys

import pyatspi

received = 0


def on_event(_event):
    global received
    received += 1


def stop(*_):
    print(f"events {received}", flush=True)
    pyatspi.Registry.stop()


EVENTS = ["object:children-changed", "object:state-changed", "object:property-change",
          "object:active-descendant-changed", "object:selection-changed", "focus:",
          "object:text-changed", "window:"]
pyatspi.Registry.registerEventListener(on_event, *EVENTS)
signal.signal(signal.SIGTERM, stop)
signal.signal(signal.SIGINT, stop)
print("ready", flush=True)
pyatspi.Registry.start()
sys.exit(0)
