/* Nothing: the shared library is made of olbdpa_core. */
