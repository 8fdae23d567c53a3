set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- NULL is empty text, alone and in ||; numbers print as Oracle's.
select 'a' || NULL || 'b' ||','|| a ||','|| c from t order by b;
select b, c * 2, b || c, 1.0 / 4, -0.5 from t where b = 1;
select 12.0, -0.0, -0.25, 1e20, -1.5e30, 9007199254740993, 1.0 / 3, 7 - 4 from dual;
-- || in select lists, nested and UNIONed, around comments and in aliases
-- and quotes; WHERE keeps SQLite's ||.
select a ||','|| REPLACE(a || ',y', ',', '-') o, b || NULL, NULL from t where b = 1;
select (c - 1) || ',' || (0 - 1) || ',' from t where b = 2;
select (select '[' || a || b || ']' from t where b = 1) s from dual;
select (select a || NULL from t where b = 1) || '-' || (select NULL from dual) s from dual;
select 'a || b; --' || a from t where a || b is null;
select 'x' x from dual union select b || NULL from t order by 1 desc;
set hea on
select DISTINCT a -- the name
 || '!' /* a mark */ "A||B" from t where b = 1;
set colsep '|'
select a || NULL v, b from t where b = 1;
exit
