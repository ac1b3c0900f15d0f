/* Hand-written routines of the kind real programs hold; each is also in
   hand.pas. Every routine takes three ints (unused ones are ignored) and
   returns an int. */

int gcd(int a, int b, int c) {
  int t;
  a &= 0xFFFF;
  b &= 0xFFFF;
  while (b != 0) {
    t = a % b;
    a = b;
    b = t;
  }
  return a;
}

int clamp(int a, int b, int c) {
  if (b > c) return b;
  if (a < b) return b;
  if (a > c) return c;
  return a;
}

int median3(int a, int b, int c) {
  if (a > b) {
    if (b > c) return b;
    if (a > c) return c;
    return a;
  }
  if (a > c) return a;
  if (b > c) return c;
  return b;
}

int popcount(int a, int b, int c) {
  unsigned u = a;
  int n = 0;
  while (u != 0) {
    n += u & 1;
    u >>= 1;
  }
  return n;
}

int max3(int a, int b, int c) {
  int m = a;
  if (b > m) m = b;
  if (c > m) m = c;
  return m;
}

int sign(int a, int b, int c) {
  if (a > 0) return 1;
  if (a < 0) return -1;
  return 0;
}

int isqrt(int a, int b, int c) {
  int r = 0;
  a &= 0xFFFF;
  while ((r + 1) * (r + 1) <= a) r++;
  return r;
}

int sumrange(int a, int b, int c) {
  int i, s = 0;
  for (i = a & 63; i <= (b & 63); i++) s += i;
  return s;
}

int collatz(int a, int b, int c) {
  int n = (a & 1023) + 1, steps = 0;
  while (n != 1 && steps < 1000) {
    if ((n & 1) == 0) n = n / 2;
    else n = 3 * n + 1;
    steps++;
  }
  return steps;
}

int fib(int a, int b, int c) {
  int i, x = 0, y = 1, t;
  for (i = 1; i <= (a & 31); i++) {
    t = x + y;
    x = y;
    y = t;
  }
  return x;
}

int digits(int a, int b, int c) {
  int n = 0;
  do {
    a /= 10;
    n++;
  } while (a != 0);
  return n;
}

int power(int a, int b, int c) {
  int p = 1, i;
  for (i = 1; i <= (b & 7); i++) p *= a;
  return p;
}

int absdiff(int a, int b, int c) {
  return a > b ? a - b : b - a;
}

int leapdays(int a, int b, int c) {
  int m = (a & 15) % 12 + 1, y = b & 4095;
  switch (m) {
    case 2:
      if ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) return 29;
      return 28;
    case 4: case 6: case 9: case 11:
      return 30;
    default:
      return 31;
  }
}

int triangle(int a, int b, int c) {
  a &= 255; b &= 255; c &= 255;
  if (a + b <= c || a + c <= b || b + c <= a) return 0;
  if (a == b && b == c) return 3;
  if (a == b || b == c || a == c) return 2;
  return 1;
}

int bitrev8(int a, int b, int c) {
  int i, r = 0;
  for (i = 0; i < 8; i++) {
    r = (r << 1) | (a & 1);
    a >>= 1;
  }
  return r;
}

int countdown(int a, int b, int c) {
  int i, s = c;
  for (i = a & 15; i >= 1; i--) {
    if ((i & 1) == 1) s += b; else s -= i;
  }
  return s;
}

int inrange(int a, int b, int c) {
  if ((unsigned)(a - b) <= (unsigned)(c - b)) return 1;
  return 0;
}

int ucompare(int a, int b, int c) {
  unsigned u = a, v = b;
  int r = 0;
  if (u < v) r = -1;
  if (u > v) r = 1;
  return r;
}

int udivmod(int a, int b, int c) {
  unsigned x = a, y = (b & 0xFF) | 1;
  return x / y + (x % y) * 7;
}

int boolmix(int a, int b, int c) {
  return (a < b) + 2 * (b == c) + 4 * ((unsigned)a > (unsigned)c);
}

int bytemix(int a, int b, int c) {
  return (a >> 3) ^ (int)((unsigned)b >> 5) ^ (c << 2) ^ -(signed char)b ^ (unsigned char)c;
}
