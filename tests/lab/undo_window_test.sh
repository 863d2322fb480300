#!/usr/bin/env bash
# The undo suite with -window 64: each mode's journal, written while up to 64 requests are
# in flight, still restores the directory, and a killed run's journal still covers every
# write that may have reached it.
KESTREL_UNDO_WINDOW=64 exec bash "$(dirname "${BASH_SOURCE[0]}")/undo_test.sh" "$@"
