/* A small C program for the whole-program tests and the routine-start
   measurement: static routines, a switch with a jump table, recursion,
   calls through pointers, and enough of the C library to link its code. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int cmp_int(const void *a, const void *b) { return *(const int *)a - *(const int *)b; }

static const char *weekday(int d) {
  switch (d) {
    case 0: return "Sun"; case 1: return "Mon"; case 2: return "Tue"; case 3: return "Wed";
    case 4: return "Thu"; case 5: return "Fri"; case 6: return "Sat";
    default: return "?";
  }
}

static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

typedef int (*op_fn)(int, int);
static int add(int a, int b) { return a + b; }
static int mul(int a, int b) { return a * b; }

#ifdef SAMPLE_DLL
__declspec(dllexport)
#endif
int apply(op_fn f, int a, int b) { return f(a, b); }

#ifdef SAMPLE_DLL
__declspec(dllexport) int sample_sum(const int *v, int n) {
  int s = 0;
  for (int i = 0; i < n; i++) s += v[i];
  return s;
}
#else
int main(int argc, char **argv) {
  int v[8] = {5, 3, 9, 1, 7, 2, 8, 6};
  qsort(v, 8, sizeof v[0], cmp_int);
  char buf[64];
  snprintf(buf, sizeof buf, "%s %d %d %d", weekday(argc % 7), fib(10), apply(add, v[0], v[7]),
           apply(mul, 3, 4));
  puts(buf);
  return (int)strlen(argv[0]) & 0;
}
#endif
