#!/bin/sh
# Runs a command on the X display of the environment, or on a new Xvfb display when there is
# none. The Wine suite gives all its programs one display (see wine-suite.sh).
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
