#!/bin/sh
exec "$(dirname "$0")/demo-launcher.sh" lunar_base "$@"
