{ A small program that pulls in a good part of Free Pascal's run-time
  library: the whole-program tests and the routine-start measurement link
  it with symbols, strip a copy and compare. }
program sample;
{$mode objfpc}{$H+}
uses SysUtils, Classes, StrUtils, Math, DateUtils;

type
  TShape = class
    function Area: Double; virtual; abstract;
    function Describe: string; virtual;
  end;
  TSquare = class(TShape)
    Side: Double;
    function Area: Double; override;
  end;
  TCircle = class(TShape)
    Radius: Double;
    function Area: Double; override;
    function Describe: string; override;
  end;

function TShape.Describe: string;
begin
  Result := Format('%s of area %.2f', [ClassName, Area]);
end;

function TSquare.Area: Double; begin Result := Side * Side; end;
function TCircle.Area: Double; begin Result := Pi * Radius * Radius; end;
function TCircle.Describe: string; begin Result := 'round ' + inherited Describe; end;

function Weekday(d: Integer): string;
begin
  case d of
    1: Result := 'Mon'; 2: Result := 'Tue'; 3: Result := 'Wed'; 4: Result := 'Thu';
    5: Result := 'Fri'; 6: Result := 'Sat'; 7: Result := 'Sun';
  else
    Result := '?';
  end;
end;

function SumTo(n: Integer): Integer;
var i: Integer;
  procedure AddOne(k: Integer); begin Inc(Result, k); end;
begin
  Result := 0;
  for i := 1 to n do AddOne(i);
end;

var
  List: TList;
  Words: TStringList;
  i: Integer;
  s: string;
begin
  List := TList.Create;
  Words := TStringList.Create;
  try
    for i := 1 to 3 do begin
      List.Add(TSquare.Create); TSquare(List.Last).Side := i;
      List.Add(TCircle.Create); TCircle(List.Last).Radius := i;
    end;
    for i := 0 to List.Count - 1 do Words.Add(TShape(List[i]).Describe);
    Words.Sort;
    s := ReverseString(Words.CommaText);
    WriteLn(Length(s), ' ', SumTo(10), ' ', Weekday(DayOfTheWeek(EncodeDate(2024, 1, 1))),
            ' ', Floor(Log10(12345.0)), ' ', IntToHex(Max(3, 7), 4));
  finally
    Words.Free;
    for i := 0 to List.Count - 1 do TObject(List[i]).Free;
    List.Free;
  end;
end.
