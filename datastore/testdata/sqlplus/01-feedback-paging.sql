set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- Fewer than six rows go unreported, no rows are; a blank line opens every
-- page, of 14 rows by default. FEEDBACK ON counts from one, OFF says nothing.
select n from many where n <= 5;
select n from many where n <= 6;
select n from many where n <= 15 order by n;
select a from t where b > 99;
set feedback on
select n from many where n = 1;
set feedback off
select a from t where b > 99;
set pagesize 3
select n from many where n <= 7 order by n;
set pages 0
select n from many where n <= 2 order by n;
exit
