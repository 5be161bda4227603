#!/usr/bin/env bash
# A mutation run over the core (uninstall/, context/, paths/, fonts/ and the
# file operations above the platform): N small faults sampled over the files
# by size with SEED, each built natively and run against the native tests
# that execute its line; prints the score per file and the survivors. Takes
# about half a minute a mutant; a measurement, not part of the test command.
# Usage: scripts/mutation.sh [N] [SEED]   (default 100 1)
#        scripts/mutation.sh LIST         (the mutants a file names, a line
#                                          each: FILE<tab>LINE<tab>OLD<tab>NEW)
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
scripts/setup.sh >/dev/null
exec python3 scripts/mutation.py "$@"
