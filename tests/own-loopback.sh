#!/bin/sh
# Runs a test program on a loopback of its own, in the network namespace
# unshare made for it: the bridge's fixed ports are then free whatever the
# rest of the machine does.
ip link set lo up && exec "$@"
