"""nginx as the cache that a mirror or a CDN puts before a patch server: it fetches from the
origin on 127.0.0.1 and keeps what the origin's Cache-Control allows, or, set up wrong, keeps
every answer for a time whatever the origin says.

Its access log's lines end with the cache's verdict ($upstream_cache_status: HIT, MISS,
REVALIDATED, EXPIRED, or - for what it never keeps). The players' credentials pass through to
the origin, which checks them.
Run alone, it serves until interrupted: cache_proxy.py --origin PORT --work DIR [--keep SECONDS]
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from testbed import nginx_server  # noqa: E402


def write_config(work, port, origin, keep=None):
    # A cache set up wrong: what the origin says is ignored, every 200 kept `keep` seconds.
    ignoring = (f"proxy_ignore_headers Cache-Control Expires;\n"
                f"      proxy_cache_valid 200 {keep}s;") if keep else ""
    return nginx_server.save_config(work, f"""
  proxy_cache_path {work}/cache levels=1:2 keys_zone=patch:4m use_temp_path=off;
  upstream origin {{
    server 127.0.0.1:{origin};
    keepalive 16;
  }}
  server {{
    listen 127.0.0.1:{port};
    location / {{
      proxy_pass http://origin;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_cache patch;
      proxy_cache_revalidate on;
      {ignoring}
    }}
  }}
""", logged=" $upstream_cache_status", connections=512)


def start(origin, work, keep=None):
    """Starts the cache before the origin's port; returns (process, port) once it accepts
    connections."""
    return nginx_server.launch(work, lambda work, port: write_config(work, port, origin, keep))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--origin", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--keep", type=int, help="seconds to keep every answer, whatever the "
                        "origin says")
    options = parser.parse_args()
    nginx_server.serve_until_interrupted(*start(options.origin, options.work, options.keep))
    return 0


if __name__ == "__main__":
    sys.exit(main())
