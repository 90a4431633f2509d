# SPDX-License-Identifier: MIT
# Every tracked source file starts with its SPDX licence line (scripts/spdx.sh adds it). Reads
# the git checkout; skipped outside one.
add_test(NAME spdx COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/spdx.sh --check)
set_tests_properties(spdx PROPERTIES LABELS lint TIMEOUT 60 SKIP_RETURN_CODE 77)
