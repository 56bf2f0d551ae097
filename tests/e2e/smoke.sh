#!/bin/bash
# The binary starts on a private display in a scratch HOME and keeps running:
# the first thing to look at when every other scenario fails.
. "$(dirname "$0")/lib.sh"
e2e_init smoke
e2e_start_x
e2e_new_home
e2e_launch

e2e_step "the state directory exists after launch"
e2e_wait_until 5 test -d "$STATE_DIR" || e2e_fail "$STATE_DIR was not created"

e2e_step "still running a second later"
sleep 1
e2e_expect_running
e2e_pass
