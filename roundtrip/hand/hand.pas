{ Hand-written routines of the kind real programs hold; each is also in
  hand.c. The harness wraps them into a unit. Every routine takes three
  longints (unused ones are ignored) and returns a longint. }

function gcd(a, b, c: longint): longint;
var t: longint;
begin
  a := a and $FFFF;
  b := b and $FFFF;
  while b <> 0 do begin
    t := a mod b;
    a := b;
    b := t;
  end;
  result := a;
end;

function clamp(a, b, c: longint): longint;
begin
  if b > c then begin
    result := b;
    exit;
  end;
  if a < b then
    result := b
  else if a > c then
    result := c
  else
    result := a;
end;

function median3(a, b, c: longint): longint;
begin
  if a > b then begin
    if b > c then result := b
    else if a > c then result := c
    else result := a;
  end else begin
    if a > c then result := a
    else if b > c then result := c
    else result := b;
  end;
end;

function popcount(a, b, c: longint): longint;
var n: longint;
begin
  n := 0;
  while a <> 0 do begin
    n := n + (a and 1);
    a := a shr 1;
  end;
  result := n;
end;

function max3(a, b, c: longint): longint;
var m: longint;
begin
  m := a;
  if b > m then m := b;
  if c > m then m := c;
  result := m;
end;

function sign(a, b, c: longint): longint;
begin
  if a > 0 then result := 1
  else if a < 0 then result := -1
  else result := 0;
end;

function isqrt(a, b, c: longint): longint;
var r: longint;
begin
  a := a and $FFFF;
  r := 0;
  while (r + 1) * (r + 1) <= a do inc(r);
  result := r;
end;

function sumrange(a, b, c: longint): longint;
var i, s: longint;
begin
  s := 0;
  for i := a and 63 to b and 63 do s := s + i;
  result := s;
end;

function collatz(a, b, c: longint): longint;
var n, steps: longint;
begin
  n := (a and 1023) + 1;
  steps := 0;
  while (n <> 1) and (steps < 1000) do begin
    if n and 1 = 0 then n := n div 2
    else n := 3 * n + 1;
    inc(steps);
  end;
  result := steps;
end;

function fib(a, b, c: longint): longint;
var i, x, y, t: longint;
begin
  x := 0;
  y := 1;
  for i := 1 to a and 31 do begin
    t := x + y;
    x := y;
    y := t;
  end;
  result := x;
end;

function digits(a, b, c: longint): longint;
var n: longint;
begin
  n := 0;
  repeat
    a := a div 10;
    inc(n);
  until a = 0;
  result := n;
end;

function power(a, b, c: longint): longint;
var p, i: longint;
begin
  p := 1;
  for i := 1 to b and 7 do p := p * a;
  result := p;
end;

function absdiff(a, b, c: longint): longint;
begin
  if a > b then result := a - b else result := b - a;
end;

function leapdays(a, b, c: longint): longint;
var m, y: longint;
begin
  m := (a and 15) mod 12 + 1;
  y := b and 4095;
  if m = 2 then begin
    if ((y mod 4 = 0) and (y mod 100 <> 0)) or (y mod 400 = 0) then result := 29
    else result := 28;
  end else if (m = 4) or (m = 6) or (m = 9) or (m = 11) then
    result := 30
  else
    result := 31;
end;

function triangle(a, b, c: longint): longint;
begin
  a := a and 255; b := b and 255; c := c and 255;
  if (a + b <= c) or (a + c <= b) or (b + c <= a) then result := 0
  else if (a = b) and (b = c) then result := 3
  else if (a = b) or (b = c) or (a = c) then result := 2
  else result := 1;
end;

function bitrev8(a, b, c: longint): longint;
var i, r: longint;
begin
  r := 0;
  for i := 0 to 7 do begin
    r := (r shl 1) or (a and 1);
    a := a shr 1;
  end;
  result := r;
end;

function countdown(a, b, c: longint): longint;
var i, s: longint;
begin
  s := c;
  for i := a and 15 downto 1 do begin
    if i and 1 = 1 then s := s + b else s := s - i;
  end;
  result := s;
end;

function inrange(a, b, c: longint): longint;
begin
  if cardinal(a - b) <= cardinal(c - b) then result := 1 else result := 0;
end;

function ucompare(a, b, c: longint): longint;
var u, v: cardinal;
begin
  u := a;
  v := b;
  result := 0;
  if u < v then result := -1;
  if u > v then result := 1;
end;

function udivmod(a, b, c: longint): longint;
var x, y: cardinal;
begin
  x := a;
  y := (b and $FF) or 1;
  result := x div y + (x mod y) * 7;
end;

function boolmix(a, b, c: longint): longint;
begin
  result := ord(a < b) + 2 * ord(b = c) + 4 * ord(cardinal(a) > cardinal(c));
end;

function bytemix(a, b, c: longint): longint;
begin
  result := SarLongint(a, 3) xor longint(cardinal(b) shr 5) xor (c shl 2)
    xor -shortint(b) xor byte(c);
end;
