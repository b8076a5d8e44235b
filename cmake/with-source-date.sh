#!/bin/sh
# The link step of the shipped programs: runs the link with SOURCE_DATE_EPOCH from the
# build's stamp, which the linker writes into the PE header and the export table instead
# of the clock's time. Read at link time, since the stamp follows the commit.
#
# usage: with-source-date.sh STAMP_FILE COMMAND...
set -eu
SOURCE_DATE_EPOCH=$(cat "$1")
export SOURCE_DATE_EPOCH
shift
exec "$@"
