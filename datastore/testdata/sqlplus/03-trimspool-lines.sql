set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- TRIMSPOOL trims trailing blanks only; statements span lines and keep
-- quoted semicolons.
select a from t where b = 4;
select a || ';'
  from t
 where b = 1;
set trims off
select a from t where b = 4;
exit
