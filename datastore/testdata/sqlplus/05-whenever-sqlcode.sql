set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- The status is the error code, cut to its low byte (942 & 255).
WHENEVER SQLERROR EXIT SQL.SQLCODE
select * from nosuch;
exit
