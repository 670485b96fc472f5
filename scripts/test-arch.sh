#!/bin/bash
# Prints the architecture the tests can run here: i686 when this kernel can
# start Wine's 32-bit loader, otherwise x86_64 (a 64-bit build of the same
# sources under Wine's 64-bit loader). LARK_TEST_ARCH overrides the probe.
if [ -n "${LARK_TEST_ARCH:-}" ]; then echo "$LARK_TEST_ARCH"; exit 0; fi
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
