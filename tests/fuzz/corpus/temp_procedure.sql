create procedure #q as select 1
