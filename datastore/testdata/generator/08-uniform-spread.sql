-- olb-dpa-gen --clients 40 --policies 20 --jobs 2000 --libraries 1 --pools 1 --uniform --unmapped-percent 0
set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- Random policies and clients give most of the 800 pairs.
select count(*) > 600 from (select DISTINCT f_group_name, f_client_name from backupjob);
exit
