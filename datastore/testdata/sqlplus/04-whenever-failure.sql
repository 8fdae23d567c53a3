set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- The plug-in's WHENEVER ends the run at the first failure.
whenever sqlerror exit failure
select * from nosuch;
prompt not reached
exit
