"""What the tests, the demo and the benches share: the patch servers, releases and their
publishing, game folders, the patcher's window driven from outside, and the bench harness.
Scripts put the repository's root on sys.path and import from here."""
