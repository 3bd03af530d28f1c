#!/usr/bin/env bash
echo "The demo is not available yet." >&2
exit 1
