// FIXME: placeholder until the shell lands.
