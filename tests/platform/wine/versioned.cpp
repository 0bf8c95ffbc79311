// A program that does nothing: only its version resource matters to the tests.
int main() {
  return 0;
}
